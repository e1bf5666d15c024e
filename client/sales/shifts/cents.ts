import { roundCents } from '../../core';

export { roundCents };

/** A counted amount: rounded, never negative; anything but a number counts 0. */
export function countedAmount(value: unknown): number {
  const n = typeof value === 'number' ? value : typeof value === 'string' && value.trim() !== '' ? Number(value) : NaN;
  return Number.isFinite(n) ? Math.max(0, roundCents(n)) : 0;
}
