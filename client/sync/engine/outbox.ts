import { uuidv7 } from '../../core';
import { META, type LocalDb } from '../../storage';
import type { EntityRegistry, Fields } from './entities';
import { upsertRow } from './merge';
import { payload } from './payload';
import type { Account } from './ports';

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
  company_id: string | null;
  user_id: string | null;
};

// A change made while nobody is signed in belongs to whoever signs in next (see `claimUnowned`).
const owner = (account: Account | null) => [account?.companyId ?? null, account?.userId ?? null];

const now = () => new Date().toISOString();

async function versionOf(db: LocalDb, table: string, uuid: string): Promise<string | null> {
  const [row] = await db.select<{ version: string | null }>(`SELECT version FROM ${table} WHERE uuid = ?`, [uuid]);
  return row?.version ?? null;
}

/** A save of a record removed here: it would bring the record back behind its own deletion. */
export class RemovedRecordError extends Error {
  constructor() {
    super('This record was deleted.');
    this.name = 'RemovedRecordError';
  }
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
 * is merged only into an upsert of the same account that was never sent: the
 * server replays the first verdict of an operation it has seen, so fields
 * merged into one that may have reached it would never be applied. Otherwise
 * the change queues behind it.
 */
export async function saveRecord(
  db: LocalDb,
  entities: EntityRegistry,
  entity: string,
  data: Fields,
  account: Account | null,
  withinTransaction?: (uuid: string, db: LocalDb) => Promise<void>,
): Promise<string> {
  const descriptor = entities.get(entity);
  const uuid = typeof data.uuid === 'string' && data.uuid ? data.uuid : uuidv7();
  const at = now();
  await db.transaction(async (db) => {
    const [current] = await db.select<{ version: string | null; deleted: number }>(
      `SELECT version, deleted FROM ${descriptor.table} WHERE uuid = ?`,
      [uuid],
    );
    if (current?.deleted) throw new RemovedRecordError();
    const version = current?.version ?? null;
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
        'AND attempts = 0 AND company_id IS ? AND user_id IS ? ORDER BY seq DESC LIMIT 1',
      [entity, uuid, ...owner(account)],
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
        'INSERT INTO outbox (op_id, entity, action, uuid, base_version, client_updated_at, data_json, company_id, user_id) ' +
          "VALUES (?, ?, 'upsert', ?, ?, ?, ?, ?, ?)",
        [uuidv7(), entity, uuid, version, at, JSON.stringify(sent), ...owner(account)],
      );
    }
    await withinTransaction?.(uuid, db);
  });
  return uuid;
}

/**
 * Deletes a record: outright when the server cannot have seen it, else marked
 * and queued. An operation sent at least once may have been applied with its
 * reply lost, so its record counts as seen.
 */
export async function removeRecord(
  db: LocalDb,
  entities: EntityRegistry,
  entity: string,
  uuid: string,
  account: Account | null,
): Promise<void> {
  const table = entities.tableOf(entity);
  await db.transaction(async (db) => {
    const version = await versionOf(db, table, uuid);
    const [sent] = await db.select<{ n: number }>(
      "SELECT COUNT(*) AS n FROM outbox WHERE entity = ? AND uuid = ? AND (state = 'inflight' OR attempts > 0)",
      [entity, uuid],
    );
    await db.execute("DELETE FROM outbox WHERE entity = ? AND uuid = ? AND state = 'pending'", [entity, uuid]);
    if (version === null && !sent?.n) {
      await db.execute(`DELETE FROM ${table} WHERE uuid = ?`, [uuid]);
      return;
    }
    const at = now();
    await db.execute(`UPDATE ${table} SET deleted = 1, dirty = 1, local_updated_at = ? WHERE uuid = ?`, [at, uuid]);
    await db.execute(
      'INSERT INTO outbox (op_id, entity, action, uuid, base_version, client_updated_at, company_id, user_id) ' +
        "VALUES (?, ?, 'delete', ?, ?, ?, ?, ?)",
      [uuidv7(), entity, uuid, version, at, ...owner(account)],
    );
  });
}

/** The next provisional reference, e.g. OFF-3F2A-00012; one counter for every prefix. */
export async function nextOfflineReference(db: LocalDb, deviceId: string, prefix = 'OFF'): Promise<string> {
  const number = await db.transaction(async (db) => {
    const [row] = await db.select<{ value: string | null }>('SELECT value FROM meta WHERE key = ?', [META.offlineSeq]);
    const next = (Number.parseInt(row?.value ?? '0', 10) || 0) + 1;
    await db.execute('INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)', [META.offlineSeq, String(next)]);
    return next;
  });
  const device = deviceId.replace(/-/g, '').slice(-4).toUpperCase();
  return `${prefix}-${device}-${String(number).padStart(5, '0')}`;
}

export const CANNOT_RESEND = 'This change can no longer be resent; make it again.';

/**
 * Queues a refused change again, for the account that made it; a refused
 * deletion has no data and cannot be.
 */
export async function retryDeadLetter(db: LocalDb, entities: EntityRegistry, opId: string): Promise<boolean> {
  return db.transaction(async (db) => {
    const [letter] = await db.select<{
      entity: string;
      uuid: string;
      data_json: string | null;
      company_id: string | null;
      user_id: string | null;
    }>('SELECT entity, uuid, data_json, company_id, user_id FROM dead_letter WHERE op_id = ?', [opId]);
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
      'INSERT INTO outbox (op_id, entity, action, uuid, base_version, client_updated_at, data_json, company_id, user_id) ' +
        "VALUES (?, ?, 'upsert', ?, ?, ?, ?, ?, ?)",
      [uuidv7(), letter.entity, letter.uuid, version, now(), data, letter.company_id, letter.user_id],
    );
    await db.execute('DELETE FROM dead_letter WHERE op_id = ?', [opId]);
    return true;
  });
}

/** Drops a refused change, and whatever it still held locally. */
export async function dismissDeadLetter(db: LocalDb, entities: EntityRegistry, opId: string): Promise<void> {
  await db.transaction(async (db) => {
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

const recordOf = (op: Operation) => `${op.entity}\u0000${op.uuid}`;

/**
 * The head of the queue up to a second operation of one record, or one of a
 * record still in flight: that one goes in a later request, once the verdict
 * on the first has given it the record's new version as its base.
 */
export function onePerRecord(operations: Operation[], inFlight: Operation[] = []): Operation[] {
  const records = new Set(inFlight.map(recordOf));
  const kept: Operation[] = [];
  for (const op of operations) {
    const record = recordOf(op);
    if (records.has(record)) break;
    records.add(record);
    kept.push(op);
  }
  return kept;
}

/**
 * Reads the account's next batch and marks it in flight; the caller wraps
 * both in one transaction, so no `save` can merge into an operation between
 * being read and being sent. Other accounts' operations wait for their own
 * sign-in. Changes nobody owned yet are claimed first, in the same
 * transaction: left out, a later change of one of their records would go
 * before it. Given the batch `behind` whose verdicts are still to come, the
 * batch is the part of the queue that follows it, up to its records.
 */
export async function takeBatch(
  db: LocalDb,
  limit: number,
  account: Account,
  behind: Operation[] = [],
): Promise<Operation[]> {
  await claimUnowned(db, account);
  const owner = [account.companyId, account.userId];
  const after = behind.at(-1)?.seq ?? 0;
  const queue = await db.select<Operation>(
    "SELECT * FROM outbox WHERE company_id = ? AND user_id = ? AND (seq > ? OR state = 'pending') ORDER BY seq LIMIT ?",
    [...owner, after, limit],
  );
  // A waiting change from before the batch in flight (one claimed just now)
  // must not be passed: nothing follows until the queue is taken afresh.
  if (queue[0] && queue[0].seq <= after) return [];
  const head = onePerRecord(withinBudget(queue), behind);
  const last = head[head.length - 1];
  if (last)
    await db.execute(
      "UPDATE outbox SET state = 'inflight', attempts = attempts + 1 WHERE seq > ? AND seq <= ? AND company_id = ? AND user_id = ?",
      [after, last.seq, ...owner],
    );
  return head;
}

/** Changes queued or refused while nobody was signed in go to this account. */
export async function claimUnowned(db: LocalDb, account: Account): Promise<void> {
  await db.batch(
    ['outbox', 'dead_letter'].map((table) => ({
      sql: `UPDATE ${table} SET company_id = ?, user_id = ? WHERE company_id IS NULL`,
      params: [account.companyId, account.userId],
    })),
  );
}

/** Queued and refused changes that belong to other accounts than this one. */
export async function otherAccountsCount(db: LocalDb, account: Account | null): Promise<number> {
  if (!account) return 0;
  const mine = 'company_id IS NOT NULL AND (company_id <> ? OR user_id <> ?)';
  const [row] = await db.select<{ n: number }>(
    `SELECT (SELECT COUNT(*) FROM outbox WHERE ${mine}) + (SELECT COUNT(*) FROM dead_letter WHERE ${mine}) AS n`,
    [account.companyId, account.userId, account.companyId, account.userId],
  );
  return row?.n ?? 0;
}
