import type { LocalDb } from '../../storage';
import type { EntityRegistry, Fields, Verdict } from './entities';
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

const isRecord = (value: unknown): value is Fields => !!value && typeof value === 'object' && !Array.isArray(value);

/**
 * Applies one reply's verdicts in reply order; the caller wraps this in one
 * transaction. Results for operations not in the batch are ignored.
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
  // A hook that changes a table directly sees that table's merged rows first.
  const context = {
    db,
    settle: async (table: string) => {
      if (merge.rows.writesPending(table)) await merge.flush();
    },
  };
  const decided = async (op: Operation, status: Verdict['status'], reason: string | null) =>
    entities.get(op.entity).afterVerdict?.(context, { uuid: op.uuid, action: op.action, status, reason });
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
    if (!entities.has(op.entity)) continue;
    const record = isRecord(result.record) ? result.record : null;
    const reason = typeof result.reason === 'string' && result.reason ? result.reason : null;
    if (result.status === 'applied') {
      tally.applied++;
      if (op.action === 'delete') merge.remove(op.entity, op.uuid);
      else if (record) merge.adopt(op.entity, record, true);
      await decided(op, 'applied', reason);
    } else if (result.status === 'conflict') {
      if (result.reason === 'deleted_on_server') merge.remove(op.entity, op.uuid);
      else if (record) merge.adopt(op.entity, record, true);
      await decided(op, 'conflict', reason);
    } else {
      if (record) merge.adopt(op.entity, record, true);
      await db.execute(
        'INSERT OR REPLACE INTO dead_letter (op_id, entity, uuid, reason, detail_json, created_at, data_json) ' +
          'VALUES (?,?,?,?,?,?,?)',
        [op.op_id, op.entity, op.uuid, reason ?? 'rejected', JSON.stringify(result), new Date().toISOString(), op.data_json],
      );
      await decided(op, result.status === 'rejected' ? 'rejected' : 'failed', reason);
    }
  }
  await merge.flush();
  tally.unanswered = batch.length - answered.size;
  return tally;
}
