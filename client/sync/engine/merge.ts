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
export async function upsertRow(db: LocalDb, table: SyncTable, row: Fields): Promise<void> {
  const known: readonly string[] = SYNC_COLUMNS[table];
  const columns = Object.keys(row).filter((key) => known.includes(key));
  if (typeof row.uuid !== 'string' || !row.uuid) throw new Error(`a ${table} row without uuid`);
  const updated = columns.filter((c) => c !== 'uuid');
  const exists = await db.select(`SELECT 1 FROM ${table} WHERE uuid = ?`, [row.uuid]);
  if (exists.length) {
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
 * Merges one server record. A pulled record (not forced) is skipped while a
 * local change of it waits in the outbox: the server's copy of that change
 * comes back with its verdict. Runs inside the caller's transaction.
 */
export async function adopt(db: LocalDb, entity: Entity, record: Fields, force: boolean): Promise<boolean> {
  if (typeof record.uuid !== 'string' || !record.uuid) return false;
  if (!force) {
    const queued = await db.select('SELECT 1 FROM outbox WHERE entity = ? AND uuid = ? LIMIT 1', [entity, record.uuid]);
    if (queued.length) return false;
  }
  const table = tableOf(entity);
  const [local] = await db.select(`SELECT * FROM ${table} WHERE uuid = ?`, [record.uuid]);
  await upsertRow(db, table, adoptedRow(entity, local, record, new Date().toISOString()));
  return true;
}
