// Receipts in the printer's own text mode: only for rows of printable ASCII.
import { EscPosWriter } from './escpos-writer';
import { PAPER_SPECS, type Paper, type ReceiptLine } from './types';

const chars = (s: string) => [...s];

/**
 * A two-column row over `width` characters, right text flush at the end. The
 * left text is cut, never wrapped; the right text is cut only when it alone
 * is wider than the row. When the right text leaves no room for even one
 * character and a space, it goes on a line of its own below the left text,
 * so that no line is wider than the paper.
 */
export function padColumns(left: string, right: string, width: number): string[] {
  const rightText = chars(right).slice(0, width);
  const room = width - rightText.length - 1;
  if (room < 1) {
    const leftText = chars(left).slice(0, width).join('');
    const rightLine = ' '.repeat(width - rightText.length) + rightText.join('');
    return leftText ? [leftText, rightLine] : [rightLine];
  }
  const leftText = chars(left).slice(0, room);
  return [leftText.join('') + ' '.repeat(width - leftText.length - rightText.length) + rightText.join('')];
}

/** Whether every character is printable ASCII, which text mode can carry. */
export function isPrintableAscii(s: string): boolean {
  return /^[\x20-\x7e]*$/.test(s);
}

export function encodeTextReceipt(lines: readonly ReceiptLine[], paper: Paper, cut: boolean, drawer: boolean): Uint8Array {
  const width = PAPER_SPECS[paper].chars;
  const w = new EscPosWriter().init();
  if (drawer) w.drawer(0);
  for (const row of lines) {
    if (row.rule) {
      w.align('left').bold(false).big(false).line('-'.repeat(width));
    } else if (row.qr !== undefined) {
      w.align('center').bold(false).big(false).qr(row.qr, 5).feed(1);
    } else {
      const twoColumns = row.right !== undefined;
      w.align(twoColumns ? 'left' : (row.align ?? 'left')).bold(!!row.bold).big(!!row.big);
      if (twoColumns) {
        for (const text of padColumns(row.text, row.right ?? '', row.big ? Math.floor(width / 2) : width)) w.line(text);
      } else {
        w.line(row.text);
      }
    }
  }
  w.bold(false).big(false).feed(3);
  if (cut) w.cut(true);
  return w.bytes();
}

/** Opens the cash drawer and nothing else. */
export function drawerKickBytes(): Uint8Array {
  return new EscPosWriter().init().drawer(0).bytes();
}

export function feedAndCutBytes(): Uint8Array {
  return new EscPosWriter().init().feed(3).cut(true).bytes();
}
