import { formatMoney } from '../../core';
import { language, translate as t } from '../../shell';
import type { ReceiptLine, SaleResult } from './types';

export interface ReceiptOptions {
  /** The commercial register as printed; see `commercialRegisterText`. */
  commercialRegister?: string | null;
  footer?: string | null;
}

/**
 * The register text for the interface language: Arabic prefers the `ar`
 * text, English the `en` text, each falling back to the other.
 */
export function commercialRegisterText(register: unknown): string | null {
  if (!register || typeof register !== 'object') return null;
  const { ar, en } = register as { ar?: unknown; en?: unknown };
  const pick = (value: unknown) => (typeof value === 'string' && value.trim() ? value : null);
  return language.value === 'ar' ? (pick(ar) ?? pick(en)) : (pick(en) ?? pick(ar));
}

/** A quantity as written on paper: whole numbers plain, weights to the gram. */
export function quantityText(quantity: number): string {
  return String(Math.round(quantity * 1000) / 1000);
}


export function buildReceiptLines(sale: SaleResult, business: string, options: ReceiptOptions = {}): ReceiptLine[] {
  const rows: ReceiptLine[] = [{ text: business, align: 'center', big: true }];
  if (options.commercialRegister) {
    // An isolate keeps the register's Latin digits in their order inside Arabic text.
    const register = language.value === 'ar' ? `\u2066${options.commercialRegister}\u2069` : options.commercialRegister;
    rows.push({ text: `${t('Commercial Register (CR)')}: ${register}`, align: 'center' });
  }
  rows.push({ text: `${t('Receipt')} ${sale.reference}`, align: 'center' });
  // The web view's locale may write the time left to right; isolated, it keeps its order in Arabic.
  const soldAt = new Date(sale.soldAt).toLocaleString();
  rows.push({ text: language.value === 'ar' ? `\u2068${soldAt}\u2069` : soldAt, align: 'center' });
  if (sale.client) rows.push({ text: `${t('Customer')}: ${sale.client.name}`, align: 'center' });
  rows.push({ text: '', rule: true });
  for (const line of sale.lines) {
    rows.push({ text: line.name, bold: true });
    rows.push({
      text: `  ${quantityText(line.quantity)} × ${formatMoney(line.unit_price)}`,
      right: formatMoney(line.quantity * line.unit_price),
    });
  }
  rows.push({ text: '', rule: true });
  rows.push({ text: t('Subtotal'), right: formatMoney(sale.subtotal) });
  if (sale.discount !== 0) rows.push({ text: t('Discount'), right: '-' + formatMoney(sale.discount) });
  if (sale.tax !== 0) rows.push({ text: t('Tax'), right: formatMoney(sale.tax) });
  rows.push({ text: t('Total'), right: formatMoney(sale.total) + (sale.currency ? ' ' + sale.currency : ''), bold: true, big: true });
  rows.push({ text: t('Paid by'), right: t('pay.' + sale.method) });
  if (sale.method === 'cash' && sale.tendered !== null) {
    rows.push({ text: t('Cash received'), right: formatMoney(sale.tendered) });
    rows.push({ text: t('Change'), right: formatMoney(sale.change) });
  }
  rows.push({ text: '', rule: true });
  rows.push({ text: options.footer || t('Thank you for your purchase!'), align: 'center' });
  return rows;
}

const SEPARATOR = '─'.repeat(12);

/** The receipt as plain text for a message or a mail. */
export function eReceiptText(sale: SaleResult, business: string, currencyCode: string): string {
  const when = new Intl.DateTimeFormat(language.value === 'ar' ? 'ar-LY' : 'en-GB', {
    dateStyle: 'medium',
    timeStyle: 'short',
  }).format(new Date(sale.soldAt));
  const currency = currencyCode ? ' ' + currencyCode : '';
  const out = [`*${business}*`, `${sale.formal ? t('Receipt') : t('Informal receipt')} ${sale.reference}`, when];
  if (sale.client) out.push(`${t('Customer')}: ${sale.client.name}`);
  out.push(SEPARATOR);
  for (const line of sale.lines) {
    const amount = formatMoney(line.quantity * line.unit_price);
    out.push(line.name, `  ${quantityText(line.quantity)} × ${formatMoney(line.unit_price)} = ${amount}`);
  }
  out.push(SEPARATOR);
  out.push(`${t('Subtotal')}: ${formatMoney(sale.subtotal)}`);
  if (sale.discount !== 0) out.push(`${t('Discount')}: −${formatMoney(sale.discount)}`);
  if (sale.tax !== 0) out.push(`${t('Tax')}: ${formatMoney(sale.tax)}`);
  out.push(`*${t('Total')}: ${formatMoney(sale.total)}${currency}*`);
  out.push(`${t('Paid by')}: ${t('pay.' + sale.method)}`);
  if (sale.method === 'cash' && sale.tendered !== null) {
    out.push(`${t('Cash received')}: ${formatMoney(sale.tendered)}`, `${t('Change')}: ${formatMoney(sale.change)}`);
  }
  if (sale.method === 'credit') out.push(`${t('Added to your account')}: ${formatMoney(sale.total)}${currency}`);
  out.push(SEPARATOR, t('Thank you for your purchase!'));
  return out.join('\n');
}

/** The settings screen's test page. */
export function testPageLines(paper: number): ReceiptLine[] {
  return [
    { text: 'TOVIK pro', align: 'center', big: true },
    { text: t('Test print'), align: 'center' },
    { text: '', rule: true },
    { text: t('Paper'), right: `${paper} mm` },
    { text: 'ABC abc 123', right: '9,999.00' },
    { text: 'مرحبا — اختبار الطباعة', align: 'center' },
    { text: '', rule: true },
  ];
}
