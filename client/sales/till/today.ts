import type { LocalDb } from '../../storage';
import { roundCents } from './amounts';

/** The calendar day where the till stands, as YYYY-MM-DD. */
export function localDay(at: Date = new Date()): string {
  const pad = (n: number) => String(n).padStart(2, '0');
  return `${at.getFullYear()}-${pad(at.getMonth() + 1)}-${pad(at.getDate())}`;
}

/** The day's till sales in base currency units. */
export async function dailyTotal(db: LocalDb, day: string, rateOf: (code: string | null) => number): Promise<number> {
  const rows = await db.select<{ c: string | null; total: number | null }>(
    'SELECT currency_code AS c, SUM(total) AS total FROM invoices WHERE pos_method IS NOT NULL AND deleted = 0 ' +
      "AND status != 'cancelled' AND invoice_date = ? GROUP BY currency_code",
    [day],
  );
  return roundCents(rows.reduce((sum, r) => sum + (r.total ?? 0) * rateOf(r.c), 0));
}
