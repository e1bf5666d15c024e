import { storageMessage } from './backend';
import type { LocalDb } from './local-db';
import { MIGRATIONS } from './schema';

const DUPLICATE_COLUMN = /duplicate column/i;

/**
 * Brings "schema_version" up to the last step. Each step is one transaction:
 * it applies whole or not at all, and a failure ends the open with the
 * statement's message so the next start retries the same step.
 */
export async function migrate(db: LocalDb): Promise<void> {
  const rows = await db.select<{ value: string | null }>("SELECT value FROM meta WHERE key = 'schema_version'");
  const current = Number(rows[0]?.value ?? 0) || 0;
  for (let step = current + 1; step <= MIGRATIONS.length; step++) {
    const statements = MIGRATIONS[step - 1] ?? [];
    await db.transaction(async (db) => {
      for (const statement of statements) {
        try {
          await db.execute(statement);
        } catch (error) {
          if (!DUPLICATE_COLUMN.test(storageMessage(error))) throw error;
        }
      }
      await db.execute("INSERT OR REPLACE INTO meta (key, value) VALUES ('schema_version', ?)", [String(step)]);
    });
  }
}
