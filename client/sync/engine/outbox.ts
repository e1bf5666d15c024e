import { uuidv7 } from '../../core';
import { META, type LocalDb } from '../../storage';
import type { EntityRegistry, Fields } from './entities';
import { upsertRow } from './merge';
import { payload } from './payload';

// The local half of every change: the row and its queued operation, written together.

export type Operation = {
  seq: number;
  op_id: string;
  entity: string;
  action: 'upsert' | 'delete';
  uuid: string;
  base_version: string | null;
  client_updated_at: string;
  data_json: string | null;
  state: 'pending' | 'inflight';
  attempts: number;
};

const now = () => new Date().toISOString();

async function versionOf(db: LocalDb, table: string, uuid: string): Promise<string | null> {
  const [row] = await db.select<{ version: string | null }>(`SELECT version FROM ${table} WHERE uuid = ?`, [uuid]);
  return row?.version ?? null;
}

function parseObject(text: string | null): Fields {
  if (!text) return {};
  try {
    const value: unknown = JSON.parse(text);
    return value && typeof value === 'object' && !Array.isArray(value) ? (value as Fields) : {};
  } catch {
    return {};
  }
}

/**
 * Stores a record locally and queues its upsert in one transaction. A change
 * to a record whose upsert still waits is merged into that operation; one
 * already in flight is never touched, so the change queues behind it.
 */
export async function saveRecord(
  db: LocalDb,
  entities: EntityRegistry,
  entity: string,
  data: Fields,
  withinTransaction?: (uuid: string) => Promise<void>,
): Promise<string> {
  const descriptor = entities.get(entity);
  const uuid = typeof data.uuid === 'string' && data.uuid ? data.uuid : uuidv7();
  const at = now();
  await db.transaction(async () => {
    const version = await versionOf(db, descriptor.table, uuid);
    await upsertRow(db, descriptor.table, entities.columnsOf(entity), {
      ...data,
      uuid,
      dirty: 1,
      deleted: 0,
      local_updated_at: at,
    });
    const sent = payload(descriptor, data);
    const [waiting] = await db.select<{ seq: number; data_json: string | null }>(
      "SELECT seq, data_json FROM outbox WHERE entity = ? AND uuid = ? AND action = 'upsert' AND state = 'pending' " +
        'ORDER BY seq DESC LIMIT 1',
      [entity, uuid],
    );
    if (waiting) {
      const merged = { ...parseObject(waiting.data_json), ...sent };
      await db.execute('UPDATE outbox SET data_json = ?, client_updated_at = ? WHERE seq = ?', [
        JSON.stringify(merged),
        at,
        waiting.seq,
      ]);
    } else {
      await db.execute(
        'INSERT INTO outbox (op_id, entity, action, uuid, base_version, client_updated_at, data_json) ' +
          "VALUES (?, ?, 'upsert', ?, ?, ?, ?)",
        [uuidv7(), entity, uuid, version, at, JSON.stringify(sent)],
      );
    }
    await withinTransaction?.(uuid);
  });
  return uuid;
}

/** Deletes a record: outright when the server never saw it, else marked and queued. */
export async function removeRecord(db: LocalDb, entities: EntityRegistry, entity: string, uuid: string): Promise<void> {
  const table = entities.tableOf(entity);
  await db.transaction(async () => {
    const version = await versionOf(db, table, uuid);
    const [inflight] = await db.select<{ n: number }>(
      "SELECT COUNT(*) AS n FROM outbox WHERE entity = ? AND uuid = ? AND state = 'inflight'",
      [entity, uuid],
    );
    await db.execute("DELETE FROM outbox WHERE entity = ? AND uuid = ? AND state = 'pending'", [entity, uuid]);
    if (version === null && !inflight?.n) {
      await db.execute(`DELETE FROM ${table} WHERE uuid = ?`, [uuid]);
      return;
    }
    const at = now();
    await db.execute(`UPDATE ${table} SET deleted = 1, dirty = 1, local_updated_at = ? WHERE uuid = ?`, [at, uuid]);
    await db.execute(
      'INSERT INTO outbox (op_id, entity, action, uuid, base_version, client_updated_at) ' +
        "VALUES (?, ?, 'delete', ?, ?, ?)",
      [uuidv7(), entity, uuid, version, at],
    );
  });
}

/** The next provisional reference, e.g. OFF-3F2A-00012; one counter for every prefix. */
export async function nextOfflineReference(db: LocalDb, deviceId: string, prefix = 'OFF'): Promise<string> {
  const number = await db.transaction(async () => {
    const [row] = await db.select<{ value: string | null }>('SELECT value FROM meta WHERE key = ?', [META.offlineSeq]);
    const next = (Number.parseInt(row?.value ?? '0', 10) || 0) + 1;
    await db.execute('INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)', [META.offlineSeq, String(next)]);
    return next;
  });
  const device = deviceId.replace(/-/g, '').slice(-4).toUpperCase();
  return `${prefix}-${device}-${String(number).padStart(5, '0')}`;
}

export const CANNOT_RESEND = 'This change can no longer be resent; make it again.';

/** Queues a refused change again; a refused deletion has no data and cannot be. */
export async function retryDeadLetter(db: LocalDb, entities: EntityRegistry, opId: string): Promise<boolean> {
  return db.transaction(async () => {
    const [letter] = await db.select<{ entity: string; uuid: string; data_json: string | null }>(
      'SELECT entity, uuid, data_json FROM dead_letter WHERE op_id = ?',
      [opId],
    );
    if (!letter) return false;
    const descriptor = entities.get(letter.entity);
    let data = letter.data_json;
    if (data === null && descriptor.rebuildPayload) {
      const [row] = await db.select(`SELECT * FROM ${descriptor.table} WHERE uuid = ?`, [letter.uuid]);
      data = row ? JSON.stringify(payload(descriptor, descriptor.rebuildPayload(row))) : null;
    }
    if (data === null) throw new Error(CANNOT_RESEND);
    const version = await versionOf(db, descriptor.table, letter.uuid);
    await db.execute(
      'INSERT INTO outbox (op_id, entity, action, uuid, base_version, client_updated_at, data_json) ' +
        "VALUES (?, ?, 'upsert', ?, ?, ?, ?)",
      [uuidv7(), letter.entity, letter.uuid, version, now(), data],
    );
    await db.execute('DELETE FROM dead_letter WHERE op_id = ?', [opId]);
    return true;
  });
}

/** Drops a refused change, and whatever it still held locally. */
export async function dismissDeadLetter(db: LocalDb, entities: EntityRegistry, opId: string): Promise<void> {
  await db.transaction(async () => {
    const [letter] = await db.select<{ entity: string; uuid: string }>(
      'SELECT entity, uuid FROM dead_letter WHERE op_id = ?',
      [opId],
    );
    if (letter && entities.has(letter.entity)) await entities.get(letter.entity).onDismissed?.(db, letter.uuid);
    await db.execute('DELETE FROM dead_letter WHERE op_id = ?', [opId]);
  });
}

export const SIZE_BUDGET = 1_000_000;
export const PER_OPERATION = 300;

/** The head of the queue within the count and size budgets; the first operation always goes. */
export function withinBudget(operations: Operation[]): Operation[] {
  let total = 0;
  const kept: Operation[] = [];
  for (const op of operations) {
    total += (op.data_json?.length ?? 0) + PER_OPERATION;
    if (kept.length && total > SIZE_BUDGET) break;
    kept.push(op);
  }
  return kept;
}

/**
 * Reads the next batch and marks it in flight in one transaction, so no
 * `save` can merge into an operation between being read and being sent.
 */
export async function takeBatch(db: LocalDb, limit: number): Promise<Operation[]> {
  return db.transaction(async () => {
    const head = withinBudget(await db.select<Operation>('SELECT * FROM outbox ORDER BY seq LIMIT ?', [limit]));
    const last = head[head.length - 1];
    if (last)
      await db.execute("UPDATE outbox SET state = 'inflight', attempts = attempts + 1 WHERE seq <= ?", [last.seq]);
    return head;
  });
}
