import type { LocalDb, SqlParam, SqlStatement } from '../../storage';
import type { Fields } from './entities';

// Bound parameters per statement, well under SQLite's limit of 32766.
const PARAMETER_BUDGET = 8000;

function chunks<T>(items: T[], size: number): T[][] {
  const out: T[][] = [];
  for (let i = 0; i < items.length; i += size) out.push(items.slice(i, i + size));
  return out;
}

const marks = (count: number) => Array.from({ length: count }, () => '?').join(', ');

/** How a value is stored in a record column. */
export function cell(value: unknown): SqlParam {
  if (value === undefined || value === null) return null;
  if (typeof value === 'boolean') return value ? 1 : 0;
  if (typeof value === 'number' || typeof value === 'string') return value;
  // Nested values have their own _json columns; anything else is kept as JSON text.
  return JSON.stringify(value);
}

/**
 * The row writes of one pull page or one push reply, sent as few statements
 * as possible when flushed: each statement is a round trip to the host, and a
 * page of 500 records must not cost 500 of them. Writes of one record replace
 * each other, and removing a record drops its waiting write, so the flushed
 * result equals the writes applied one by one in call order. Removals are
 * flushed before writes, which only matters for a record removed and then
 * written again; that one ends up written, as it would one by one.
 */
export class RowBatch {
  private readonly writes = new Map<string, Map<string, Fields>>();
  private readonly removals = new Map<string, Set<string>>();
  private readonly queuedRemovals = new Map<string, Set<string>>();
  private readonly sentOperations: number[] = [];
  private readonly trailing: SqlStatement[] = [];

  constructor(private readonly db: LocalDb) {}

  /**
   * Inserts a row, or replaces the stored one of its uuid. A row replacing a
   * stored one must carry all of it (the stored row overlaid by the change):
   * the insert half of an upsert checks NOT NULL columns before it sees the
   * conflict. Only the table's `columns` are written.
   */
  write(table: string, row: Fields & { uuid: string }, columns: readonly string[]): void {
    const kept: Fields = {};
    for (const column of columns) if (column in row) kept[column] = row[column];
    kept.uuid = row.uuid;
    let rows = this.writes.get(table);
    if (!rows) this.writes.set(table, (rows = new Map()));
    rows.delete(row.uuid); // a rewrite goes last, like the statement it replaces
    rows.set(row.uuid, kept);
  }

  remove(table: string, uuid: string): void {
    this.writes.get(table)?.delete(uuid);
    let uuids = this.removals.get(table);
    if (!uuids) this.removals.set(table, (uuids = new Set()));
    uuids.add(uuid);
  }

  /** Drops every queued operation of a record. */
  removeQueued(entity: string, uuid: string): void {
    let uuids = this.queuedRemovals.get(entity);
    if (!uuids) this.queuedRemovals.set(entity, (uuids = new Set()));
    uuids.add(uuid);
  }

  /** Drops one queued operation by its sequence number. */
  removeOperation(seq: number): void {
    this.sentOperations.push(seq);
  }

  /** A statement of the caller's to run after the rows, in the same list. */
  also(statement: SqlStatement): void {
    this.trailing.push(statement);
  }

  /** Whether rows of a table wait to be written. */
  writesPending(table: string): boolean {
    return (this.writes.get(table)?.size ?? 0) > 0;
  }

  /** Every waiting write, in one statement list. */
  async flush(): Promise<void> {
    const statements: SqlStatement[] = [];
    for (const part of chunks(this.sentOperations.splice(0), PARAMETER_BUDGET))
      statements.push({ sql: `DELETE FROM outbox WHERE seq IN (${marks(part.length)})`, params: part });
    for (const [entity, uuids] of this.queuedRemovals)
      for (const part of chunks([...uuids], PARAMETER_BUDGET - 1))
        statements.push({
          sql: `DELETE FROM outbox WHERE entity = ? AND uuid IN (${marks(part.length)})`,
          params: [entity, ...part],
        });
    this.queuedRemovals.clear();
    for (const [table, uuids] of this.removals)
      for (const part of chunks([...uuids], PARAMETER_BUDGET))
        statements.push({ sql: `DELETE FROM ${table} WHERE uuid IN (${marks(part.length)})`, params: part });
    this.removals.clear();
    for (const [table, rows] of this.writes) statements.push(...this.upserts(table, [...rows.values()]));
    this.writes.clear();
    statements.push(...this.trailing.splice(0));
    await this.db.batch(statements);
  }

  private upserts(table: string, rows: Fields[]): SqlStatement[] {
    const statements: SqlStatement[] = [];
    // Rows naming the same columns share statements.
    const shapes = new Map<string, Fields[]>();
    for (const row of rows) {
      const shape = Object.keys(row).join(',');
      const same = shapes.get(shape);
      if (same) same.push(row);
      else shapes.set(shape, [row]);
    }
    for (const [shape, alike] of shapes) {
      const columns = shape.split(',');
      const updated = columns.filter((c) => c !== 'uuid');
      const onConflict = updated.length
        ? `DO UPDATE SET ${updated.map((c) => `${c} = excluded.${c}`).join(', ')}`
        : 'DO NOTHING';
      const tuple = `(${marks(columns.length)})`;
      for (const part of chunks(alike, Math.max(1, Math.floor(PARAMETER_BUDGET / columns.length))))
        statements.push({
          sql:
            `INSERT INTO ${table} (${columns.join(', ')}) VALUES ${part.map(() => tuple).join(', ')} ` +
            `ON CONFLICT(uuid) ${onConflict}`,
          params: part.flatMap((row) => columns.map((c) => cell(row[c]))),
        });
    }
    return statements;
  }
}
