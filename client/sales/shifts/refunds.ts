import type { LocalDb, SqlParam } from '../../storage';

// Where till refunds are read from. Every report takes its refunded figures
// through here, so a different store for refunds changes only this file.
// Returns pulled from the server (every till's) and this till's own refund rows
// not pulled yet, each return counted once by its uuid.
const ALL_REFUNDS =
  '(SELECT shift_uuid, method, amount, currency_code, created_at FROM pos_returns WHERE deleted = 0 ' +
  'UNION ALL SELECT shift_uuid, method, amount, currency_code, created_at FROM pos_refunds ' +
  'WHERE uuid NOT IN (SELECT uuid FROM pos_returns))';

export type RefundRow = {
  c: string | null;
  method: string;
  total: number;
  created_at: string;
};

/** A shift's refunds per currency and method. */
export async function shiftRefunds(db: LocalDb, shiftUuid: string): Promise<RefundRow[]> {
  return readRefunds(
    db,
    'SELECT currency_code AS c, method, SUM(amount) AS total, MAX(created_at) AS created_at FROM ' +
      ALL_REFUNDS +
      ' WHERE shift_uuid = ? GROUP BY currency_code, method',
    [shiftUuid],
  );
}

/** Refunds recorded between two UTC dates (inclusive), one row each. */
export async function refundsBetween(db: LocalDb, from: string, to: string): Promise<RefundRow[]> {
  return readRefunds(
    db,
    'SELECT currency_code AS c, method, amount AS total, created_at FROM ' +
      ALL_REFUNDS +
      ' WHERE substr(created_at, 1, 10) BETWEEN ? AND ?',
    [from, to],
  );
}

async function readRefunds(db: LocalDb, sql: string, params: SqlParam[]): Promise<RefundRow[]> {
  try {
    return await db.select<RefundRow>(sql, params);
  } catch {
    // A database without the refunds table has no refunds to count.
    return [];
  }
}
