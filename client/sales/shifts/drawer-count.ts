import { countedAmount, roundCents } from './cents';
import { cashDenominations } from './denominations';

/** One currency's count in the drawer: pieces per denomination, and a total typed over them. */
export interface DrawerCount {
  pieces: Record<string, unknown>;
  typed: unknown;
}

export const emptyCount = (): DrawerCount => ({ pieces: {}, typed: '' });

/** The notes and coins counted, each count that is not a number counting 0. */
export function notesTotal(code: string, count: DrawerCount): number {
  let total = 0;
  for (const value of cashDenominations(code)) {
    const pieces = Number(count.pieces[String(value)]);
    if (Number.isFinite(pieces) && pieces > 0) total += value * pieces;
  }
  return roundCents(total);
}

/**
 * The amount counted: a typed total wins over the rows; a total typed and
 * then erased falls back to the rows, as its placeholder shows.
 */
export function countedTotal(code: string, count: DrawerCount): number {
  const typed = count.typed;
  const hasTyped = typeof typed === 'number' ? Number.isFinite(typed) : typeof typed === 'string' && typed.trim() !== '';
  return hasTyped ? countedAmount(typed) : notesTotal(code, count);
}
