import type { LocalDb } from '../../storage';
import type { Verdict, VerdictContext } from '../../sync';

/** A product's stock less what unconfirmed sales hold; `p` aliases `products`. */
export const AVAILABLE_STOCK =
  '(p.stock - IFNULL((SELECT SUM(h.quantity) FROM stock_holds h WHERE h.product_uuid = p.uuid), 0))';

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

/**
 * What a verdict does to a sale's holds. A refused sale keeps its stock held
 * until the user resends or dismisses it, unless the period is locked: then
 * it can never go and holds nothing.
 */
export async function settleSaleVerdict(context: VerdictContext, verdict: Verdict): Promise<void> {
  const keepsHolds = verdict.status === 'rejected' && verdict.reason !== 'locked';
  if (keepsHolds) return;
  // The holds settle against the products as they stand at this point of the reply.
  await context.settle('products');
  await settleHolds(context.db, verdict.uuid, verdict.status === 'applied');
}
