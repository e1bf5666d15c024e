import type { LocalDb } from './local-db';
import type { MetaKey } from './meta';

export interface WipeScope {
  /** The company tables to empty. */
  tables: readonly string[];
  metaKeys: readonly MetaKey[];
  /**
   * Also drop this company's queued and refused changes and those not yet
   * given to an account (a data reset: they were made against data that is
   * gone). Other companies' work waits for their own sign-in.
   */
  queueOf?: string;
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
  if (scope.queueOf !== undefined)
    for (const table of ['outbox', 'dead_letter'])
      await db.execute(`DELETE FROM ${table} WHERE company_id = ? OR company_id IS NULL`, [scope.queueOf]);
  for (const key of scope.metaKeys) await db.execute('DELETE FROM meta WHERE key = ?', [key]);
}
