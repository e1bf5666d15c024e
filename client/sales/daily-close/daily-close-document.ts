import { formatAmount } from '../../core';
import { language, translate as t } from '../../shell';
import type { PrintDocument, ReceiptLine } from '../receipts';
import type { DailyClose, DailyCloseCurrency } from './daily-close-data';

const LRM = '\u200E';

/** An amount as the daily close writes it; the mark keeps sign, digits and code in order in Arabic. */
export function closeAmount(value: number, code: string): string {
  return `${LRM}${value < 0 ? '-' : ''}${formatAmount(Math.abs(value), 2)} ${code}`.trimEnd();
}

const translated = (key: string) => (t(key) !== key ? t(key) : null);

function heading(code: string): string {
  const name = translated(`cur.${code}`);
  return name ? `${code} — ${name}` : code;
}

/** How the report names a way of paying. */
export function methodLabel(tenant: Record<string, unknown>, method: string): string {
  const configured = Array.isArray(tenant.pos_methods) ? (tenant.pos_methods as unknown[]) : [];
  for (const entry of configured) {
    if (entry && typeof entry === 'object' && (entry as { key?: unknown }).key === method) {
      const label = (entry as { label?: unknown }).label;
      if (typeof label === 'string' && label) return label;
    }
  }
  if (method === 'invoice') return t('Invoices');
  return translated(`pay.${method}`) ?? method;
}

export function businessName(tenant: Record<string, unknown>, profileName: unknown): string {
  const company = tenant.company_name;
  return typeof company === 'string' && company ? company : String(profileName ?? '');
}

function escapeHtml(text: string): string {
  return text.replace(/[&<>"']/g, (ch) => `&#${ch.charCodeAt(0)};`);
}

/** The day's account for the roll and for an A4 page. */
export function dailyCloseDocument(
  data: DailyClose,
  business: string,
  tenant: Record<string, unknown>,
  printedAt = new Date(),
): PrintDocument {
  const printed = printedAt.toLocaleString(language.value === 'ar' ? 'ar' : 'en');
  return {
    title: `${t('Daily close')} ${data.day}`,
    lines: thermalLines(data, business, tenant, printed),
    html: a4Body(data, business, tenant, printed),
  };
}

function thermalLines(data: DailyClose, business: string, tenant: Record<string, unknown>, printed: string): ReceiptLine[] {
  const rows: ReceiptLine[] = [
    { text: business, align: 'center', bold: true, big: true },
    { text: t('Daily close'), align: 'center', bold: true },
    { text: data.day, align: 'center' },
  ];
  for (const c of data.currencies) {
    const amount = (value: number) => closeAmount(value, c.code);
    rows.push({ text: '', rule: true }, { text: heading(c.code), align: 'center', bold: true, big: true });
    if (c.opening !== 0) rows.push({ text: t('Opening balance'), right: amount(c.opening) });
    rows.push(
      { text: `${t('Sales')} (${c.invoices})`, right: amount(c.sales) },
      { text: t('Paid on these sales'), right: amount(c.paidOnSales) },
      { text: t('Account payments received'), right: amount(c.accountPayments) },
      ...c.byMethod.map((m) => ({ text: `  ${methodLabel(tenant, m.method)}`, right: amount(m.total) })),
      { text: `${t('Expenses')} (${c.expenseCount})`, right: amount(-c.expenses) },
      ...c.byCategory.map((e) => ({ text: `  ${e.label}`, right: amount(e.total) })),
    );
    if (c.refunds !== 0) rows.push({ text: t('Returns refunded'), right: amount(-c.refunds) });
    rows.push(
      { text: t('Net drawer balance'), right: amount(c.drawer), bold: true, big: true },
      { text: t('opening + cash in − cash out'), align: 'center' },
    );
  }
  if (data.afterShiftClose > 0 || data.pending > 0) rows.push({ text: '', rule: true });
  if (data.afterShiftClose > 0)
    rows.push({ text: `${t('Sold after their shift closed')}: ${data.afterShiftClose}`, align: 'center' });
  if (data.pending > 0) rows.push({ text: `${t('Not yet synced')}: ${data.pending}`, align: 'center' });
  rows.push({ text: '', rule: true }, { text: `${t('Printed')}: ${printed}`, align: 'center' });
  return rows;
}

function a4Body(data: DailyClose, business: string, tenant: Record<string, unknown>, printed: string): string {
  const e = escapeHtml;
  const sections = data.currencies.map((c) => currencySection(c, tenant)).join('');
  const notes = [
    data.afterShiftClose > 0 ? `${t('Sold after their shift closed')}: ${data.afterShiftClose}` : '',
    data.pending > 0 ? `${t('Not yet synced')}: ${data.pending}` : '',
  ]
    .filter(Boolean)
    .map((note) => `<p class="note">${e(note)}</p>`)
    .join('');
  return (
    `<style>${A4_STYLE}</style>` +
    `<header><h1>${e(business)}</h1><p>${e(`${t('Daily close')} · ${t('each currency on its own')}`)}</p>` +
    `<p>${e(data.day)}</p><p>${e(`${t('Printed')}: ${printed}`)}</p></header>` +
    sections +
    notes +
    `<div class="signatures"><div>${e(t('Prepared by'))}</div><div>${e(t('Reviewed by'))}</div></div>`
  );
}

function currencySection(c: DailyCloseCurrency, tenant: Record<string, unknown>): string {
  const e = escapeHtml;
  const amount = (value: number) => e(closeAmount(value, c.code));
  const figure = (label: string, value: number) => `<div class="figure"><span>${e(label)}</span><b>${amount(value)}</b></div>`;
  const row = (label: string, value: number, cls = '') =>
    `<tr${cls ? ` class="${cls}"` : ''}><td>${e(label)}</td><td class="n">${amount(value)}</td></tr>`;
  const rows = [
    c.opening !== 0 ? row(t('Opening balance'), c.opening) : '',
    row(t('Cash sales and payments'), c.cashIn),
    row(t('Card, bank and other methods'), c.nonCashIn),
    ...c.byMethod.map((m) => row(`· ${methodLabel(tenant, m.method)}`, m.total, 'sub')),
    row(t('Expenses'), -c.expenses),
    ...c.byCategory.map((x) => row(`· ${x.label}`, x.total, 'sub')),
    c.refunds !== 0 ? row(t('Returns refunded'), -c.refunds) : '',
    row(t('Net drawer balance'), c.drawer, 'grand'),
    row(t('Net for the day'), c.net),
  ].join('');
  return (
    `<section><h2>${e(heading(c.code))}</h2><div class="figures">` +
    figure(`${t('Sales')} (${c.invoices})`, c.sales) +
    figure(t('Money in'), c.paidOnSales + c.accountPayments) +
    figure(`${t('Expenses')} (${c.expenseCount})`, c.expenses) +
    figure(t('Net drawer balance'), c.drawer) +
    `</div><table>${rows}</table></section>`
  );
}

const A4_STYLE = `header { text-align: center; margin-bottom: 12px; } h1 { margin: 0; font-size: 22px; }
header p { margin: 2px 0; color: #475569; } section { break-inside: avoid; margin: 14px 0; }
h2 { font-size: 16px; border-bottom: 2px solid #0f172a; padding-bottom: 4px; }
.figures { display: grid; grid-template-columns: repeat(4, 1fr); gap: 8px; margin-bottom: 8px; }
.figure { border: 1px solid #cbd5e1; border-radius: 6px; padding: 6px 8px; display: flex; flex-direction: column; }
.figure span { color: #475569; font-size: 11px; } table { width: 100%; border-collapse: collapse; }
td { padding: 3px 6px; border-bottom: 1px solid #e2e8f0; } td.n { text-align: end; white-space: nowrap; }
tr.sub td { color: #475569; font-size: 12px; } tr.grand td { font-weight: 800; border-top: 2px solid #0f172a; }
.note { text-align: center; color: #b45309; }
.signatures { display: flex; gap: 24px; margin-top: 32px; }
.signatures div { flex: 1; border-top: 1px solid #0f172a; padding-top: 4px; min-height: 48px; }`;
