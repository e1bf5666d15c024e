import { parseScaled } from '../../core';

export {
  discountOf,
  documentTotals,
  roundCents,
  type DiscountType,
  type DocumentTotals as Totals,
  type PricedLine,
} from '../../core';

/** A weight kept to grams. */
export function roundGrams(value: number): number {
  const scaled = parseScaled(value, 3);
  return scaled === null ? 0 : Number(scaled) / 1000;
}
