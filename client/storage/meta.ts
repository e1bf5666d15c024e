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
  posVatRate: 'pos_vat_rate',
  posVatOn: 'pos_vat_on',
  posTerminalId: 'pos_terminal_id',
  posHeld: 'pos_held',
  posShiftUuid: 'pos_shift_uuid',
  kioskActive: 'kiosk_active',
  customerDisplayActive: 'cds_active',
} as const;

type NamedKey = (typeof META)[keyof typeof META];
export type MetaKey = NamedKey | `data_epoch:${string}`;

/**
 * How long a key lives: `device` keys stay through sign-outs and company
 * switches; `user` keys go at sign-out; `company` keys go at sign-out and at
 * a company switch. Every named key must say, so a new key cannot slip past
 * the wipes.
 */
export type MetaScope = 'device' | 'user' | 'company';

export const META_SCOPES: Readonly<Record<NamedKey, MetaScope>> = {
  schema_version: 'device',
  lang: 'device',
  theme: 'device',
  device_id: 'device',
  server_url: 'device',
  update_required: 'device',
  offline_seq: 'device',
  // Kept through a forced sign-out so the next sign-in reopens the same
  // company (when that user belongs to it); the voluntary sign-out drops it.
  company_id: 'device',
  // The till's VAT choice belongs to the machine at the counter.
  pos_vat_rate: 'device',
  pos_vat_on: 'device',
  profile: 'user',
  notif_last_id: 'company',
  pull_cursor: 'company',
  last_sync_at: 'company',
  pos_terminal_id: 'company',
  pos_held: 'company',
  // The drawer this till opened: another company's shift is never this till's.
  pos_shift_uuid: 'company',
  kiosk_active: 'company',
  // A display was paired from this machine: it keeps following the till.
  cds_active: 'device',
};

/** The keys that end with a sign-out (`user`) or with a company switch (`company`). */
export function metaKeysEndingWith(end: 'user' | 'company'): MetaKey[] {
  const ending = (scope: MetaScope) => scope === 'company' || (end === 'user' && scope === 'user');
  return (Object.keys(META_SCOPES) as NamedKey[]).filter((key) => ending(META_SCOPES[key]));
}

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
