import type { LocalDb } from './local-db';
import type { MetaKey } from './meta';

export interface WipeScope {
  /** The company tables to empty. */
  tables: readonly string[];
  metaKeys: readonly MetaKey[];
  /** Also drop queued and refused changes (a data reset: they were made against data that is gone). */
  queue?: boolean;
}

/**
 * Empties one company's data inside the caller's transaction. A table that
 * fails to empty must not keep the others' data, so each goes on its own.
 */
export async function wipeCompanyData(db: LocalDb, scope: WipeScope): Promise<void> {
  for (const table of scope.tables) {
    try {
      await db.execute(`DELETE FROM ${table}`);
    } catch {
      // See above.
    }
  }
  if (scope.queue) {
    await db.execute('DELETE FROM outbox');
    await db.execute('DELETE FROM dead_letter');
  }
  for (const key of scope.metaKeys) await db.execute('DELETE FROM meta WHERE key = ?', [key]);
}
