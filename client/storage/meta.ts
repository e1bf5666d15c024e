import { openLocalDb } from './open';

/**
 * The keys of the `meta` key/value table. Every reader and writer names its
 * key through this table, so a key is spelt once and the wipe lists can be
 * checked against it.
 */
export const META = {
  schemaVersion: 'schema_version',
  language: 'lang',
  theme: 'theme',
  deviceId: 'device_id',
  serverUrl: 'server_url',
  profile: 'profile',
  companyId: 'company_id',
  updateRequired: 'update_required',
  pullCursor: 'pull_cursor',
  lastSyncAt: 'last_sync_at',
  offlineSeq: 'offline_seq',
  notificationsLastId: 'notif_last_id',
  posTerminalId: 'pos_terminal_id',
  posHeld: 'pos_held',
  kioskActive: 'kiosk_active',
} as const;

export type MetaKey = (typeof META)[keyof typeof META] | `data_epoch:${string}`;

/** The data epoch last seen for one tenant is kept per tenant. */
export const dataEpochKey = (tenantId: unknown): MetaKey => `data_epoch:${String(tenantId)}`;

export async function readMeta(key: MetaKey): Promise<string | null> {
  const db = await openLocalDb();
  const rows = await db.select<{ value: string | null }>('SELECT value FROM meta WHERE key = ?', [key]);
  return rows[0]?.value ?? null;
}

export async function writeMeta(key: MetaKey, value: string): Promise<void> {
  const db = await openLocalDb();
  await db.execute('INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)', [key, value]);
}

export async function deleteMeta(key: MetaKey): Promise<void> {
  const db = await openLocalDb();
  await db.execute('DELETE FROM meta WHERE key = ?', [key]);
}
