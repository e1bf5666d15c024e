import { roundCents } from './money';

export type DiscountType = 'fixed' | 'percentage';

export interface DocumentTotals {
  subtotal: number;
  discount: number;
  tax: number;
  total: number;
}

export interface PricedLine {
  quantity: number;
  unit_price: number;
}

/**
 * Totals of a sale or document: the discount (fixed, or a percentage) is taken
 * before VAT and never exceeds the subtotal; every step is rounded to cents,
 * the line amounts summed before rounding.
 */
export function documentTotals(
  lines: readonly PricedLine[],
  discount = 0,
  type: DiscountType = 'fixed',
  vatPercent = 0,
): DocumentTotals {
  const subtotal = roundCents(lines.reduce((sum, l) => sum + l.quantity * l.unit_price, 0));
  const off = discountOf(subtotal, discount, type);
  const net = roundCents(subtotal - off);
  const tax = roundCents((net * Math.min(Math.max(Number.isFinite(vatPercent) ? vatPercent : 0, 0), 100)) / 100);
  return { subtotal, discount: off, tax, total: roundCents(net + tax) };
}

export function discountOf(subtotal: number, discount: number, type: DiscountType): number {
  const value = Number.isFinite(discount) ? discount : 0;
  if (type === 'percentage') return roundCents((subtotal * Math.min(Math.max(value, 0), 100)) / 100);
  return Math.min(Math.max(value, 0), subtotal);
}
