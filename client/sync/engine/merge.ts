import type { LocalDb } from '../../storage';
import type { EntityDescriptor, EntityRegistry, Fields } from './entities';
import { cell, RowBatch } from './row-batch';

/**
 * Writes one row by uuid; only the table's columns, and only those the row
 * names, so a partial row keeps the other stored values. An existing row is
 * updated rather than upserted: SQLite checks NOT NULL on the candidate insert
 * before it sees the conflict, so a partial change of a row with required
 * columns would fail as an upsert.
 */
export async function upsertRow(
  db: LocalDb,
  table: string,
  known: readonly string[],
  row: Fields,
  exists?: boolean,
): Promise<void> {
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
export function adoptedRow(
  descriptor: EntityDescriptor,
  local: Fields | undefined,
  record: Fields,
  now: string,
): Fields {
  const row: Fields = { ...local, ...record };
  row.server_id = record.id ?? null;
  row.dirty = 0;
  row.deleted = 0;
  row.local_updated_at = now;
  for (const column of descriptor.jsonColumns ?? [])
    if (column.adopt !== false) row[column.column] = json(record[column.field], column.fallback);
  return row;
}

const key = (name: string, uuid: string) => `${name}\u0000${uuid}`;

const QUEUED_SEQ = 'queued_operation_seq';

/**
 * Merges the server records of one pull page or one push reply inside the
 * caller's transaction. It reads what it needs once per entity (`prepare`),
 * decides every record in memory and writes through one `RowBatch`, so a
 * page costs a handful of statements; `flush` before the transaction ends.
 */
export class Merge {
  readonly rows: RowBatch;
  private readonly prepared = new Set<string>();
  // By table and uuid, since two entities may share a table; null once removed here.
  private readonly local = new Map<string, Fields | null>();
  // By entity name: only an operation of the same entity holds a record back.
  private readonly queued = new Map<string, number[]>();

  constructor(
    private readonly db: LocalDb,
    private readonly entities: EntityRegistry,
  ) {
    this.rows = new RowBatch(db);
  }

  /**
   * Reads the stored rows of these records and their operations waiting in
   * the outbox, both in one query (one call to the database per 500 records):
   * the operations come as rows whose only column is the uuid, with their
   * `seq` in the extra column.
   */
  async prepare(entity: string, uuids: string[]): Promise<void> {
    this.prepared.add(entity);
    const table = this.entities.tableOf(entity);
    const columns = this.entities.catalogue.columns(table);
    const stored = columns.join(', ');
    const uuidOnly = columns.map((column) => (column === 'uuid' ? 'uuid' : 'NULL')).join(', ');
    // Bound parameters stay well under SQLite's limit.
    for (let i = 0; i < uuids.length; i += 500) {
      const part = uuids.slice(i, i + 500);
      const list = part.map(() => '?').join(', ');
      const rows = await this.db.select(
        `SELECT ${stored}, NULL AS ${QUEUED_SEQ} FROM ${table} WHERE uuid IN (${list}) ` +
          `UNION ALL SELECT ${uuidOnly}, seq FROM outbox WHERE entity = ? AND uuid IN (${list})`,
        [...part, entity, ...part],
      );
      for (const { [QUEUED_SEQ]: seq, ...row } of rows) {
        if (typeof seq === 'number') {
          const at = key(entity, String(row.uuid));
          this.queued.set(at, [...(this.queued.get(at) ?? []), seq]);
          continue;
        }
        // A row already decided here is newer than the stored one.
        const at = key(table, String(row.uuid));
        if (!this.local.has(at)) this.local.set(at, row);
      }
    }
  }

  /** The outbox positions of a prepared record's queued operations, as read by `prepare`. */
  queuedSeqs(entity: string, uuid: string): number[] {
    return this.queued.get(key(entity, uuid)) ?? [];
  }

  /**
   * Merges one server record. A pulled record (not forced) is skipped while a
   * local change of it waits in the outbox: the server's copy of that change
   * comes back with its verdict.
   */
  adopt(entity: string, record: Fields, force: boolean): boolean {
    const uuid = record.uuid;
    if (typeof uuid !== 'string' || !uuid) return false;
    if (!this.prepared.has(entity)) throw new Error(`merge of ${entity} records before reading their rows`);
    if (!force && this.queued.has(key(entity, uuid))) return false;
    const descriptor = this.entities.get(entity);
    const table = descriptor.table;
    const row = adoptedRow(descriptor, this.local.get(key(table, uuid)) ?? undefined, record, new Date().toISOString());
    this.rows.write(table, { ...row, uuid }, this.entities.catalogue.columns(table));
    this.local.set(key(table, uuid), row);
    return true;
  }

  /**
   * Moves a record that still has local changes queued to the server's
   * version, keeping its content: those changes go next, based on it.
   */
  stamp(entity: string, record: Fields): void {
    const table = this.entities.tableOf(entity);
    const at = key(table, String(record.uuid));
    const local = this.local.get(at);
    if (!local) return;
    const row = { ...local, version: record.version ?? null, server_id: record.id ?? local.server_id ?? null };
    this.rows.write(table, { ...row, uuid: String(record.uuid) }, this.entities.catalogue.columns(table));
    this.local.set(at, row);
  }

  /**
   * Reads again the stored rows of `table` known here, after something wrote
   * that table directly (the batch is flushed first): later records merge
   * over what is stored, as they would one by one.
   */
  async reload(table: string): Promise<void> {
    await this.flush();
    const prefix = key(table, '');
    const uuids = [...this.local.entries()].filter(([at, row]) => row && at.startsWith(prefix)).map(([at]) => at.slice(prefix.length));
    for (let i = 0; i < uuids.length; i += 500) {
      const part = uuids.slice(i, i + 500);
      const rows = await this.db.select(`SELECT * FROM ${table} WHERE uuid IN (${part.map(() => '?').join(', ')})`, part);
      for (const row of rows) this.local.set(key(table, String(row.uuid)), row);
    }
  }

  /** Removes a record's row. */
  remove(entity: string, uuid: string): void {
    const table = this.entities.tableOf(entity);
    this.rows.remove(table, uuid);
    this.local.set(key(table, uuid), null);
  }

  flush(): Promise<void> {
    return this.rows.flush();
  }
}
