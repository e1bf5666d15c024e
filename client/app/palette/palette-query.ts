import type { SearchBranch } from '../../shell';
import { FEATURES } from '../features';

/** The palette's search terms: lower-cased, split at white space, at most five. */
export function paletteTerms(query: string): string[] {
  return query.trim().toLowerCase().split(/\s+/).filter(Boolean).slice(0, 5);
}

export interface PaletteAction {
  key: string;
  title: string;
}

/** Actions whose lower-cased title holds every term; all of them without terms. */
export function matchingActions<T extends PaletteAction>(actions: readonly T[], terms: readonly string[]): T[] {
  return actions.filter((a) => terms.every((term) => a.title.toLowerCase().includes(term)));
}

/** The record search's branches, one per kind of record a feature offers. */
export const searchBranches: readonly SearchBranch[] = FEATURES.flatMap((f) => f.search ?? []);

/** The record search over every kind of record: one statement and its parameters. */
export function recordSearch(terms: readonly string[]): { sql: string; params: string[] } {
  const where = terms.map(() => 'lower(hay) LIKE ?').join(' AND ');
  const sql =
    `SELECT kind, uuid, title, sub, amount FROM (${searchBranches.map((b) => b.sql).join(' UNION ALL ')}) ` +
    `WHERE ${where} ORDER BY CASE WHEN lower(title) LIKE ? THEN 0 ELSE 1 END, kind, title LIMIT 30`;
  return { sql, params: [...terms.map((term) => `%${term}%`), `${terms[0] ?? ''}%`] };
}
