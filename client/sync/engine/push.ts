import type { LocalDb } from '../../storage';
import { isEntity, type Entity } from './entities';
import { Merge } from './merge';
import type { Operation } from './outbox';
import type { Fields } from './payload';

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

/** Stock held by a till sale: deducted from the products when the server took the sale, then released. */
export async function settleHolds(db: LocalDb, saleUuid: string, applied: boolean): Promise<void> {
  if (applied)
    await db.execute(
      'UPDATE products SET stock = stock - IFNULL((SELECT quantity FROM stock_holds h WHERE h.sale_uuid = ? ' +
        'AND h.product_uuid = products.uuid), 0) WHERE uuid IN (SELECT product_uuid FROM stock_holds WHERE sale_uuid = ?)',
      [saleUuid, saleUuid],
    );
  await db.execute('DELETE FROM stock_holds WHERE sale_uuid = ?', [saleUuid]);
}

const isRecord = (value: unknown): value is Fields => !!value && typeof value === 'object' && !Array.isArray(value);

/**
 * Applies one reply's verdicts in reply order; the caller wraps this in one
 * transaction. Results for operations not in the batch are ignored.
 */
export async function applyVerdicts(db: LocalDb, batch: Operation[], results: PushResult[]): Promise<VerdictTally> {
  const byId = new Map(batch.map((op) => [op.op_id, op]));
  const answered = new Set<string>();
  const tally: VerdictTally = { applied: 0, retry: false, unanswered: 0 };
  const merge = new Merge(db);
  const uuidsByEntity = new Map<Entity, string[]>();
  for (const op of batch) {
    if (!isEntity(op.entity)) continue;
    const uuids = uuidsByEntity.get(op.entity);
    if (uuids) uuids.push(op.uuid);
    else uuidsByEntity.set(op.entity, [op.uuid]);
  }
  for (const [entity, uuids] of uuidsByEntity) await merge.prepare(entity, uuids);
  // Stock held by a sale is settled against the products as they stand then.
  const settle = async (saleUuid: string, applied: boolean) => {
    if (merge.rows.writesPending('products')) await merge.flush();
    await settleHolds(db, saleUuid, applied);
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
    if (!isEntity(op.entity)) continue;
    const sale = op.entity === 'pos_sale';
    const record = isRecord(result.record) ? result.record : null;
    if (result.status === 'applied') {
      tally.applied++;
      if (op.action === 'delete') merge.remove(op.entity, op.uuid);
      else if (record) merge.adopt(op.entity, record, true);
      if (sale) await settle(op.uuid, true);
    } else if (result.status === 'conflict') {
      if (result.reason === 'deleted_on_server') merge.remove(op.entity, op.uuid);
      else if (record) merge.adopt(op.entity, record, true);
      if (sale) await settle(op.uuid, false);
    } else {
      if (record) merge.adopt(op.entity, record, true);
      const reason = typeof result.reason === 'string' && result.reason ? result.reason : 'rejected';
      await db.execute(
        'INSERT OR REPLACE INTO dead_letter (op_id, entity, uuid, reason, detail_json, created_at, data_json) ' +
          'VALUES (?,?,?,?,?,?,?)',
        [op.op_id, op.entity, op.uuid, reason, JSON.stringify(result), new Date().toISOString(), op.data_json],
      );
      // A refused sale keeps its stock held until the user resends or dismisses it,
      // unless the period is locked: then it can never go and holds nothing.
      const keepsHolds = result.status === 'rejected' && result.reason !== 'locked';
      if (sale && !keepsHolds) await settle(op.uuid, false);
    }
  }
  await merge.flush();
  tally.unanswered = batch.length - answered.size;
  return tally;
}
