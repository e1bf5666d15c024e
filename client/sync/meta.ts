import { openLocalDb } from '../storage';

// The `meta` key/value table, for the settings and state this folder keeps.

export async function readMeta(key: string): Promise<string | null> {
  const db = await openLocalDb();
  const rows = await db.select<{ value: string | null }>('SELECT value FROM meta WHERE key = ?', [key]);
  return rows[0]?.value ?? null;
}

export async function writeMeta(key: string, value: string): Promise<void> {
  const db = await openLocalDb();
  await db.execute('INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)', [key, value]);
}

export async function deleteMeta(key: string): Promise<void> {
  const db = await openLocalDb();
  await db.execute('DELETE FROM meta WHERE key = ?', [key]);
}
