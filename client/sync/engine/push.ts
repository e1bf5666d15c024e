import { META, type LocalDb } from '../../storage';
import type { EntityRegistry, Fields, Verdict, VerdictContext } from './entities';
import { Merge } from './merge';
import type { Operation } from './outbox';

export interface PushResult {
  op_id?: unknown;
  status?: unknown;
  reason?: unknown;
  record?: unknown;
  message?: unknown;
  errors?: unknown;
}

export interface VerdictTally {
  /** Operations the server applied. */
  applied: number;
  /** A "retry" verdict came: the next push waits. */
  retry: boolean;
  /** Operations of the batch that got no result at all. */
  unanswered: number;
}

/** Whether a reply decided every operation of its batch: none left unanswered, none to retry. */
export function decidesAll(batch: Operation[], results: PushResult[]): boolean {
  // Only an operation's first result counts, as in `applyVerdicts`.
  const first = new Map<unknown, unknown>();
  for (const result of results) if (!first.has(result.op_id)) first.set(result.op_id, result.status);
  return batch.every((op) => first.has(op.op_id) && first.get(op.op_id) !== 'retry');
}

const isRecord = (value: unknown): value is Fields => !!value && typeof value === 'object' && !Array.isArray(value);

/**
 * Applies one reply's verdicts in reply order; the caller wraps this in one
 * transaction. Results for operations not in the batch are ignored.
 *
 * A record may have further changes queued behind the answered operation.
 * Then the server's copy does not replace the local content (the queued
 * changes are newer); an applied verdict moves the record and those changes
 * to the server's new version, so they are not taken for a conflict with
 * the device's own earlier change.
 */
export async function applyVerdicts(
  db: LocalDb,
  entities: EntityRegistry,
  batch: Operation[],
  results: PushResult[],
): Promise<VerdictTally> {
  const byId = new Map(batch.map((op) => [op.op_id, op]));
  const answered = new Set<string>();
  const tally: VerdictTally = { applied: 0, retry: false, unanswered: 0 };
  const merge = new Merge(db, entities);
  const uuidsByEntity = new Map<string, string[]>();
  for (const op of batch) {
    if (!entities.has(op.entity)) continue;
    const uuids = uuidsByEntity.get(op.entity);
    if (uuids) uuids.push(op.uuid);
    else uuidsByEntity.set(op.entity, [op.uuid]);
  }
  for (const [entity, uuids] of uuidsByEntity) await merge.prepare(entity, uuids);
  const decidedSeqs = new Set<number>();
  // A hook that changes a table directly sees that table's merged rows first, and the rest of the reply sees its changes.
  const touched = new Set<string>();
  const context: VerdictContext = {
    db,
    settle: async (table: string) => {
      await merge.flush();
      touched.add(table);
    },
    refetch: async () => {
      await db.execute('DELETE FROM meta WHERE key = ?', [META.pullCursor]);
    },
  };
  const hooks = async (op: Operation, verdict: Verdict) => {
    const descriptor = entities.get(op.entity);
    await descriptor.afterVerdict?.(context, verdict);
    if (verdict.status !== 'applied') await descriptor.onRefused?.(context, verdict);
    for (const table of touched) await merge.reload(table);
    touched.clear();
  };
  for (const result of results) {
    const op = typeof result.op_id === 'string' ? byId.get(result.op_id) : undefined;
    if (!op || answered.has(op.op_id)) continue;
    answered.add(op.op_id);
    if (result.status === 'retry') {
      tally.retry = true;
      await db.execute("UPDATE outbox SET state = 'pending' WHERE seq = ?", [op.seq]);
      continue;
    }
    merge.rows.removeOperation(op.seq);
    decidedSeqs.add(op.seq);
    if (!entities.has(op.entity)) continue;
    // Every queued operation of the record as the reply began, this one included.
    const later = merge.queuedSeqs(op.entity, op.uuid).filter((seq) => seq > op.seq);
    // A later change of the record was decided earlier in this reply: its outcome stands.
    const superseded = later.some((seq) => decidedSeqs.has(seq));
    const queuedBehind = later.length > 0 && !superseded;
    const record = isRecord(result.record) ? result.record : null;
    const reason = typeof result.reason === 'string' && result.reason ? result.reason : null;
    const verdict = (status: Verdict['status']): Verdict => ({ uuid: op.uuid, action: op.action, status, reason });
    if (result.status === 'applied') {
      tally.applied++;
      if (superseded) {
        // nothing to merge
      } else if (op.action === 'delete') {
        if (!queuedBehind) merge.remove(op.entity, op.uuid);
      } else if (record && queuedBehind) {
        merge.stamp(op.entity, record);
        if (record.version !== undefined && record.version !== null)
          await db.execute('UPDATE outbox SET base_version = ? WHERE entity = ? AND uuid = ? AND seq > ?', [
            String(record.version),
            op.entity,
            op.uuid,
            op.seq,
          ]);
      } else if (record) merge.adopt(op.entity, record, true);
      await hooks(op, verdict('applied'));
    } else if (result.status === 'conflict') {
      if (result.reason === 'deleted_on_server') {
        if (!superseded) merge.remove(op.entity, op.uuid);
      } else if (record && !superseded && !queuedBehind) merge.adopt(op.entity, record, true);
      await hooks(op, verdict('conflict'));
    } else {
      if (record && !superseded && !queuedBehind) merge.adopt(op.entity, record, true);
      await db.execute(
        'INSERT OR REPLACE INTO dead_letter (op_id, entity, uuid, reason, detail_json, created_at, data_json, company_id, user_id) ' +
          'VALUES (?,?,?,?,?,?,?,?,?)',
        [
          op.op_id,
          op.entity,
          op.uuid,
          reason ?? 'rejected',
          JSON.stringify(result),
          new Date().toISOString(),
          op.data_json,
          op.company_id,
          op.user_id,
        ],
      );
      await hooks(op, verdict(result.status === 'rejected' ? 'rejected' : 'failed'));
    }
  }
  await merge.flush();
  tally.unanswered = batch.length - answered.size;
  return tally;
}
