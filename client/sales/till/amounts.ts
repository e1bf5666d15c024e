import { parseScaled } from '../../core';

/** Money rounded to cents, exactly as the decimal text reads (10.005 gives 10.01). */
export function roundCents(value: number): number {
  const scaled = parseScaled(value, 2);
  return scaled === null ? 0 : Number(scaled) / 100;
}

/** A weight kept to grams. */
export function roundGrams(value: number): number {
  const scaled = parseScaled(value, 3);
  return scaled === null ? 0 : Number(scaled) / 1000;
}

export type DiscountType = 'fixed' | 'percentage';

export interface Totals {
  subtotal: number;
  discount: number;
  tax: number;
  total: number;
}

export interface PricedLine {
  quantity: number;
  unit_price: number;
}

/** Discount before VAT, each step rounded; the line amounts are summed before rounding. */
export function documentTotals(lines: readonly PricedLine[], discount = 0, type: DiscountType = 'fixed', rate = 0): Totals {
  const subtotal = roundCents(lines.reduce((sum, l) => sum + l.quantity * l.unit_price, 0));
  const off = discountOf(subtotal, discount, type);
  const net = roundCents(subtotal - off);
  const tax = roundCents((net * Math.max(rate, 0)) / 100);
  return { subtotal, discount: off, tax, total: roundCents(net + tax) };
}

export function discountOf(subtotal: number, discount: number, type: DiscountType): number {
  const value = Number.isFinite(discount) ? discount : 0;
  if (type === 'percentage') return roundCents((subtotal * Math.min(Math.max(value, 0), 100)) / 100);
  return Math.min(Math.max(value, 0), subtotal);
}
