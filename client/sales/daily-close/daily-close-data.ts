import type { LocalDb } from '../../storage';
import { baseCurrencyOf, localDayOf, refundsBetween, roundCents, utcDatesAround } from '../shifts';
import { translate } from '../../shell';

export type MethodTotal = { method: string; total: number };
export type CategoryTotal = { category: string; label: string; total: number };

/** One currency's figures of the day. */
export interface DailyCloseCurrency {
  code: string;
  invoices: number;
  sales: number;
  paidOnSales: number;
  accountPayments: number;
  byMethod: MethodTotal[];
  cashIn: number;
  nonCashIn: number;
  expenses: number;
  expenseCount: number;
  cashExpenses: number;
  byCategory: CategoryTotal[];
  refunds: number;
  cashRefunds: number;
  opening: number;
  drawer: number;
  net: number;
}

export interface DailyClose {
  day: string;
  /** Operations still waiting in the outbox. */
  pending: number;
  base: string;
  currencies: DailyCloseCurrency[];
  /** Sales of the day's shifts that reached a shift after its Z-report was final. */
  afterShiftClose: number;
}

type Group = {
  invoices: number;
  sales: number;
  paidOnSales: number;
  accountPayments: number;
  received: Map<string, number>;
  expenses: number;
  expenseCount: number;
  cashExpenses: number;
  categories: Map<string, { label: string; total: number }>;
  refunds: number;
  cashRefunds: number;
};

const NON_CASH_PAYMENTS = new Set(['bank', 'card', 'transfer', 'cheque']);

type InvoiceRow = {
  total: number;
  paid_amount: number;
  currency_code: string | null;
  pos_method: string | null;
  shift_uuid: string | null;
  at: string | null;
};
type SettlementRow = { amount: number; currency_code: string | null; method: string; paid_at: string };
type ExpenseRow = {
  amount: number;
  currency_code: string | null;
  category: string;
  category_label: string | null;
  funding_source: string | null;
  payment_method: string | null;
};

async function orNone<T>(read: Promise<T[]>): Promise<T[]> {
  try {
    return await read;
  } catch {
    return [];
  }
}

/**
 * The day's account across every till and the back office, per currency.
 * Time stamps count on the local day they fall in, bare dates as they are.
 */
export async function dailyCloseData(db: LocalDb, tenant: Record<string, unknown>, day: string): Promise<DailyClose> {
  // A company with one currency and no list still has a base: without it its
  // opening cash and its sales would land in different groups.
  const base = baseCurrencyOf(tenant);
  const [from, to] = utcDatesAround(day);
  const onDay = <T>(rows: T[], at: (row: T) => unknown) => rows.filter((r) => localDayOf(at(r)) === day);

  const invoices = onDay(
    await db.select<InvoiceRow>(
      'SELECT IFNULL(total,0) AS total, IFNULL(paid_amount,0) AS paid_amount, currency_code, pos_method, shift_uuid, ' +
        "COALESCE(invoice_date, local_updated_at) AS at FROM invoices WHERE deleted = 0 AND status <> 'cancelled' " +
        'AND substr(COALESCE(invoice_date, local_updated_at), 1, 10) BETWEEN ? AND ?',
      [from, to],
    ),
    (r) => r.at,
  );
  const settlements = onDay(
    await db.select<SettlementRow>(
      'SELECT amount, currency_code, method, paid_at FROM settlements WHERE deleted = 0 AND substr(paid_at, 1, 10) BETWEEN ? AND ?',
      [from, to],
    ),
    (r) => r.paid_at,
  );
  const expenses = await orNone(
    db.select<ExpenseRow>(
      'SELECT amount, currency_code, category, category_label, funding_source, payment_method FROM expenses ' +
        'WHERE deleted = 0 AND expense_date = ?',
      [day],
    ),
  );
  const refunds = onDay(await refundsBetween(db, from, to), (r) => r.created_at);
  const shifts = onDay(
    await orNone(
      db.select<{ opening_cash: number; opened_at: string }>(
        'SELECT IFNULL(opening_cash,0) AS opening_cash, opened_at FROM shifts WHERE deleted = 0 AND substr(opened_at, 1, 10) BETWEEN ? AND ?',
        [from, to],
      ),
    ),
    (r) => r.opened_at,
  );

  const groups = new Map<string, Group>();
  const group = (code: string | null): Group => {
    const key = code || base;
    let found = groups.get(key);
    if (!found) {
      found = {
        invoices: 0, sales: 0, paidOnSales: 0, accountPayments: 0, received: new Map(), expenses: 0,
        expenseCount: 0, cashExpenses: 0, categories: new Map(), refunds: 0, cashRefunds: 0,
      };
      groups.set(key, found);
    }
    return found;
  };
  group(base);
  const receive = (g: Group, method: string, amount: number) => g.received.set(method, (g.received.get(method) ?? 0) + amount);

  for (const inv of invoices) {
    const g = group(inv.currency_code);
    const paid = Math.min(inv.paid_amount, inv.total);
    g.invoices += 1;
    g.sales += inv.total;
    g.paidOnSales += paid;
    if (paid > 0) receive(g, inv.pos_method || 'invoice', paid);
  }
  for (const pay of settlements) {
    const g = group(pay.currency_code);
    g.accountPayments += pay.amount;
    receive(g, pay.method, pay.amount);
  }
  for (const exp of expenses) {
    const g = group(exp.currency_code);
    g.expenses += exp.amount;
    g.expenseCount += 1;
    const fromDrawer = exp.funding_source !== 'bank' && !NON_CASH_PAYMENTS.has(exp.payment_method ?? '');
    if (fromDrawer) g.cashExpenses += exp.amount;
    const key = `expcat.${exp.category}`;
    const label = translate(key) !== key ? translate(key) : exp.category_label || exp.category;
    const entry = g.categories.get(exp.category) ?? { label, total: 0 };
    entry.total += exp.amount;
    g.categories.set(exp.category, entry);
  }
  for (const ref of refunds) {
    const g = group(ref.c);
    g.refunds += ref.total;
    if (ref.method === 'cash') g.cashRefunds += ref.total;
  }
  const opening = roundCents(shifts.reduce((sum, s) => sum + s.opening_cash, 0));

  const currencies = [...groups]
    .filter(([code, g]) => code === base || g.invoices || g.accountPayments || g.expenseCount || g.refunds)
    .map(([code, g]) => finish(code, g, code === base ? opening : 0))
    .sort((a, b) => (a.code === base ? -1 : b.code === base ? 1 : a.code.localeCompare(b.code)));
  const [outbox] = await db.select<{ n: number }>('SELECT COUNT(*) AS n FROM outbox');
  return {
    day,
    pending: outbox?.n ?? 0,
    base,
    currencies,
    afterShiftClose: await salesAfterShiftClose(db, invoices),
  };
}

function finish(code: string, g: Group, opening: number): DailyCloseCurrency {
  const byMethod = [...g.received]
    .map(([method, total]) => ({ method, total: roundCents(total) }))
    .sort((a, b) => b.total - a.total);
  const byCategory = [...g.categories]
    .map(([category, { label, total }]) => ({ category, label, total: roundCents(total) }))
    .sort((a, b) => b.total - a.total);
  const paidOnSales = roundCents(g.paidOnSales);
  const accountPayments = roundCents(g.accountPayments);
  const cashIn = byMethod.find((m) => m.method === 'cash')?.total ?? 0;
  const expenses = roundCents(g.expenses);
  const cashExpenses = roundCents(g.cashExpenses);
  const refunds = roundCents(g.refunds);
  const cashRefunds = roundCents(g.cashRefunds);
  return {
    code,
    invoices: g.invoices,
    sales: roundCents(g.sales),
    paidOnSales,
    accountPayments,
    byMethod,
    cashIn,
    nonCashIn: roundCents(paidOnSales + accountPayments - cashIn),
    expenses,
    expenseCount: g.expenseCount,
    cashExpenses,
    byCategory,
    refunds,
    cashRefunds,
    opening,
    drawer: roundCents(opening + cashIn - cashExpenses - cashRefunds),
    net: roundCents(paidOnSales + accountPayments - expenses - refunds),
  };
}

/**
 * Sales that reached their shift after its report was made final (made on a
 * till that had not yet heard of the close): the day counts them, no Z-report does.
 */
async function salesAfterShiftClose(db: LocalDb, invoices: readonly InvoiceRow[]): Promise<number> {
  const stamped = [...new Set(invoices.map((i) => i.shift_uuid).filter((s): s is string => !!s))];
  if (stamped.length === 0) return 0;
  const rows = await db.select<{ summary_json: string | null; n: number }>(
    'SELECT s.summary_json, (SELECT COUNT(*) FROM invoices i WHERE i.shift_uuid = s.uuid AND i.deleted = 0 ' +
      `AND i.status <> 'cancelled') AS n FROM shifts s WHERE s.closed_at IS NOT NULL AND s.uuid IN (${stamped.map(() => '?').join(',')})`,
    stamped,
  );
  let missing = 0;
  for (const row of rows) {
    const reported = reportedSales(row.summary_json);
    if (reported !== null) missing += Math.max(0, row.n - reported);
  }
  return missing;
}

function reportedSales(summary: string | null): number | null {
  try {
    const report = JSON.parse(summary ?? 'null') as { salesCount?: unknown; byCurrency?: unknown } | null;
    // The report counts each currency apart; a report without currencies counts them all together.
    const parts = report?.byCurrency && typeof report.byCurrency === 'object' ? Object.values(report.byCurrency) : [report];
    let total = 0;
    for (const part of parts) {
      const count = (part as { salesCount?: unknown } | null)?.salesCount;
      if (typeof count !== 'number') return null;
      total += count;
    }
    return total;
  } catch {
    return null;
  }
}
