import { roundCents } from './money';

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
 * Totals of a document with a fixed discount: the discount is taken before
 * VAT and never exceeds the subtotal; every step is rounded to cents, the
 * line amounts summed before rounding.
 */
export function documentTotals(lines: readonly PricedLine[], discount = 0, vatPercent = 0): DocumentTotals {
  const subtotal = roundCents(lines.reduce((sum, l) => sum + l.quantity * l.unit_price, 0));
  const off = Math.min(Math.max(Number.isFinite(discount) ? discount : 0, 0), subtotal);
  const net = roundCents(subtotal - off);
  const tax = roundCents((net * Math.min(Math.max(Number.isFinite(vatPercent) ? vatPercent : 0, 0), 100)) / 100);
  return { subtotal, discount: off, tax, total: roundCents(net + tax) };
}
