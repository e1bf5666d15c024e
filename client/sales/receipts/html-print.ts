// Documents printed through the web view's own print dialog.
import { language } from '../../shell';
import type { ReceiptLine } from './types';

export type HtmlPageSize = 'a4' | 58 | 80;

const FRAME_LIFETIME_MS = 60_000;

export function escapeHtml(text: string): string {
  return text.replace(/[&<>"']/g, (ch) => `&#${ch.charCodeAt(0)};`);
}

export function linesToHtml(lines: readonly ReceiptLine[]): string {
  return lines
    .map((row) => {
      if (row.rule) return '<hr>';
      const classes = [row.bold ? 'b' : '', row.align === 'center' ? 'c' : ''].filter(Boolean);
      const attributes =
        (classes.length ? ` class="${classes.join(' ')}"` : '') + (row.big ? ' style="font-size:15px"' : '');
      if (row.right !== undefined)
        return `<div class="row"${attributes}><span>${escapeHtml(row.text)}</span><span class="n">${escapeHtml(row.right)}</span></div>`;
      return `<div${attributes}>${escapeHtml(row.qr ?? row.text)}</div>`;
    })
    .join('');
}

/** The complete page: direction and language from the interface, page size from `size`. */
export function htmlDocument(title: string, body: string, size: HtmlPageSize): string {
  const a4 = size === 'a4';
  const rtl = language.value === 'ar';
  const page = a4 ? 'size: A4; margin: 16mm;' : `size: ${size}mm auto; margin: 0;`;
  const style = `@page { ${page} }
body { margin: ${a4 ? '0' : '4mm'}; font: ${a4 ? 13 : 12}px/1.5 system-ui, 'Segoe UI', Tahoma, sans-serif; color: #0f172a; }
.row { display: flex; justify-content: space-between; gap: 8px; }
hr { border: 0; border-top: 1px dashed #94a3b8; }
.c { text-align: center; } .b { font-weight: 800; }
.n { text-align: end; font-variant-numeric: tabular-nums; direction: ltr; unicode-bidi: isolate; }
h1 { font-size: 18px; margin: 0 0 8px; } .figure { font-size: 20px; font-weight: 800; }
table { width: 100%; border-collapse: collapse; } th, td { padding: 4px 6px; border-bottom: 1px solid #e2e8f0; text-align: start; }
.grand { font-weight: 800; font-size: 15px; } .signature { margin-top: 32px; border-top: 1px solid #0f172a; width: 40%; }`;
  return `<!doctype html><html dir="${rtl ? 'rtl' : 'ltr'}" lang="${language.value}"><head><meta charset="utf-8"><title>${escapeHtml(title)}</title><style>${style}</style></head><body>${body}</body></html>`;
}

/** Prints through a hidden frame, removed a minute later (the dialog may still be open). */
export async function printHtml(title: string, body: string, size: HtmlPageSize): Promise<void> {
  const frame = document.createElement('iframe');
  frame.setAttribute('aria-hidden', 'true');
  frame.style.cssText = `position:fixed;left:-10000px;top:0;width:${size === 'a4' ? 210 : size}mm;height:1200px;border:0;`;
  const loaded = new Promise<void>((resolve) => frame.addEventListener('load', () => resolve(), { once: true }));
  frame.srcdoc = htmlDocument(title, body, size);
  document.body.appendChild(frame);
  await loaded;
  setTimeout(() => frame.remove(), FRAME_LIFETIME_MS);
  frame.contentWindow?.print();
}

/** A roll of rows in the page's direction. */
export function rollHtml(lines: readonly ReceiptLine[]): string {
  return `<div class="roll" dir="${language.value === 'ar' ? 'rtl' : 'ltr'}">${linesToHtml(lines)}</div>`;
}
