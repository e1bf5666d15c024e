import { SYNC_COLUMNS, type LocalDb, type SqlParam, type SyncTable } from '../../storage';
import { tableOf, type Entity } from './entities';
import type { Fields } from './payload';

function cell(value: unknown): SqlParam {
  if (value === undefined || value === null) return null;
  if (typeof value === 'boolean') return value ? 1 : 0;
  if (typeof value === 'number' || typeof value === 'string') return value;
  // Nested values have their own _json columns; anything else is kept as JSON text.
  return JSON.stringify(value);
}

/**
 * Writes one row by uuid; only the table's columns, and only those the row
 * names, so a partial row keeps the other stored values. An existing row is
 * updated rather than upserted: SQLite checks NOT NULL on the candidate insert
 * before it sees the conflict, so a partial change of a row with required
 * columns would fail as an upsert.
 */
export async function upsertRow(db: LocalDb, table: SyncTable, row: Fields, exists?: boolean): Promise<void> {
  const known: readonly string[] = SYNC_COLUMNS[table];
  const columns = Object.keys(row).filter((key) => known.includes(key));
  if (typeof row.uuid !== 'string' || !row.uuid) throw new Error(`a ${table} row without uuid`);
  const updated = columns.filter((c) => c !== 'uuid');
  exists ??= (await db.select(`SELECT 1 FROM ${table} WHERE uuid = ?`, [row.uuid])).length > 0;
  if (exists) {
    if (updated.length)
      await db.execute(`UPDATE ${table} SET ${updated.map((c) => `${c} = ?`).join(', ')} WHERE uuid = ?`, [
        ...updated.map((c) => cell(row[c])),
        row.uuid,
      ]);
    return;
  }
  await db.execute(
    `INSERT INTO ${table} (${columns.join(', ')}) VALUES (${columns.map(() => '?').join(', ')})`,
    columns.map((c) => cell(row[c])),
  );
}

const json = (value: unknown, fallback: unknown) => JSON.stringify(value === undefined ? fallback : value);

/** The row a server record becomes: the local row overlaid by the record, clean. Pure. */
export function adoptedRow(entity: Entity, local: Fields | undefined, record: Fields, now: string): Fields {
  const row: Fields = { ...local, ...record };
  row.server_id = record.id ?? null;
  row.dirty = 0;
  row.deleted = 0;
  row.local_updated_at = now;
  if (entity === 'pos_shift') row.summary_json = json(record.summary, null);
  if (entity === 'payable') row.payments_json = json(record.payments, []);
  if (entity === 'client') row.wallet_cards = json(record.wallet_cards, []);
  if (entity === 'invoice' || entity === 'quotation' || entity === 'pos_sale') {
    row.items_json = json(record.items, []);
    row.taxes_json = json(record.taxes, []);
  }
  return row;
}

/**
 * What a page's merge needs to know before writing, read once for the whole
 * page inside its transaction: which records wait in the outbox and the local
 * rows of the page's records. Each write keeps it current.
 */
export interface MergeContext {
  queued: Set<string>;
  local: Map<string, Fields>;
}

const queuedKey = (entity: string, uuid: string) => `${entity}\u0000${uuid}`;

export async function mergeContext(db: LocalDb, entity: Entity, uuids: string[]): Promise<MergeContext> {
  const queued = new Set(
    (await db.select<{ uuid: string }>('SELECT DISTINCT uuid FROM outbox WHERE entity = ?', [entity])).map((r) =>
      queuedKey(entity, r.uuid),
    ),
  );
  const local = new Map<string, Fields>();
  const table = tableOf(entity);
  // Bound parameters stay well under SQLite's limit.
  for (let i = 0; i < uuids.length; i += 500) {
    const part = uuids.slice(i, i + 500);
    const rows = await db.select(`SELECT * FROM ${table} WHERE uuid IN (${part.map(() => '?').join(', ')})`, part);
    for (const row of rows) local.set(String(row.uuid), row);
  }
  return { queued, local };
}

/**
 * Merges one server record. A pulled record (not forced) is skipped while a
 * local change of it waits in the outbox: the server's copy of that change
 * comes back with its verdict. Runs inside the caller's transaction; a pull
 * page passes the context it read for all its records.
 */
export async function adopt(
  db: LocalDb,
  entity: Entity,
  record: Fields,
  force: boolean,
  context?: MergeContext,
): Promise<boolean> {
  const uuid = record.uuid;
  if (typeof uuid !== 'string' || !uuid) return false;
  if (!force) {
    const queued = context
      ? context.queued.has(queuedKey(entity, uuid))
      : (await db.select('SELECT 1 FROM outbox WHERE entity = ? AND uuid = ? LIMIT 1', [entity, uuid])).length > 0;
    if (queued) return false;
  }
  const table = tableOf(entity);
  const local = context ? context.local.get(uuid) : (await db.select(`SELECT * FROM ${table} WHERE uuid = ?`, [uuid]))[0];
  const row = adoptedRow(entity, local, record, new Date().toISOString());
  await upsertRow(db, table, row, local !== undefined);
  context?.local.set(uuid, row);
  return true;
}
