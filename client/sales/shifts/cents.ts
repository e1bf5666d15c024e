import { parseScaled } from '../../core';

/** Money rounded to cents, exactly as its decimal text reads (10.005 gives 10.01). */
export function roundCents(value: number): number {
  const scaled = parseScaled(value, 2);
  return scaled === null ? 0 : Number(scaled) / 100;
}

/** A counted amount: rounded, never negative; anything but a number counts 0. */
export function countedAmount(value: unknown): number {
  const n = typeof value === 'number' ? value : typeof value === 'string' && value.trim() !== '' ? Number(value) : NaN;
  return Number.isFinite(n) ? Math.max(0, roundCents(n)) : 0;
}
