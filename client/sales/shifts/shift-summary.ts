import type { LocalDb } from '../../storage';
import { countedAmount, roundCents } from './cents';
import { shiftRefunds } from './refunds';

export type SalesEntry = { count: number; total: number };

/** One currency's figures of a shift. */
export interface ShiftFigures {
  sales: Record<string, SalesEntry>;
  salesTotal: number;
  salesCount: number;
  collected: Record<string, number>;
  collectedTotal: number;
  refunded: Record<string, number>;
  openingCash: number;
  expectedCash: number;
  countedCash: number | null;
  variance: number | null;
}

/** The base currency's figures at the top, every currency's in `byCurrency`. */
export interface ShiftReport extends ShiftFigures {
  currency: string;
  byCurrency: Record<string, ShiftFigures>;
}

/** What the summary reads of a shift. */
export interface ShiftCounts {
  uuid: string;
  opening_cash: number;
  counted_cash?: number | null;
  counted_json?: string | null;
}

export type CountedMap = Record<string, number>;

const METHODS = ['cash', 'card', 'transfer', 'credit', 'wallet'] as const;

type Bucket = {
  sales: Record<string, SalesEntry>;
  collected: Record<string, number>;
  refunded: Record<string, number>;
};

/** The company's base currency: the one marked base, else its single currency, else "". */
export function baseCurrencyOf(tenant: Record<string, unknown>): string {
  const currencies = Array.isArray(tenant.currencies) ? (tenant.currencies as unknown[]) : [];
  for (const c of currencies) {
    if (c && typeof c === 'object' && (c as { base?: unknown }).base === true) {
      const code = (c as { code?: unknown }).code;
      if (typeof code === 'string') return code;
    }
  }
  return typeof tenant.currency === 'string' ? tenant.currency : '';
}

/** The stored count: currency code → amount; anything unreadable counts as no count. */
export function parseCounted(text: string | null | undefined): CountedMap {
  if (!text) return {};
  let value: unknown;
  try {
    value = JSON.parse(text);
  } catch {
    return {};
  }
  if (!value || typeof value !== 'object' || Array.isArray(value)) return {};
  const out: CountedMap = {};
  for (const [code, amount] of Object.entries(value)) out[code] = countedAmount(amount);
  return out;
}

const add = (map: Record<string, number>, key: string, amount: number | null) => {
  map[key] = (map[key] ?? 0) + (amount ?? 0);
};

/**
 * A shift's figures per currency. Rows without a currency belong to the base
 * currency and are added to its own rows of the same method, never put in
 * their place.
 */
export async function shiftSummary(
  db: LocalDb,
  tenant: Record<string, unknown>,
  shift: ShiftCounts,
  counted: number | null = shift.counted_cash ?? null,
  countedMap: CountedMap = parseCounted(shift.counted_json),
): Promise<ShiftReport> {
  const base = baseCurrencyOf(tenant);
  const buckets = new Map<string, Bucket>();
  const bucket = (code: string | null): Bucket => {
    const key = code || base;
    let found = buckets.get(key);
    if (!found) {
      found = { sales: {}, collected: {}, refunded: {} };
      for (const m of METHODS) found.sales[m] = { count: 0, total: 0 };
      buckets.set(key, found);
    }
    return found;
  };
  bucket(base);

  const sales = await db.select<{ c: string | null; m: string | null; n: number; total: number | null }>(
    'SELECT currency_code AS c, pos_method AS m, COUNT(*) AS n, SUM(total) AS total FROM invoices ' +
      "WHERE shift_uuid = ? AND deleted = 0 AND status != 'cancelled' GROUP BY currency_code, pos_method",
    [shift.uuid],
  );
  for (const row of sales) {
    const entries = bucket(row.c).sales;
    const entry = (entries[row.m || 'other'] ??= { count: 0, total: 0 });
    entry.count += row.n;
    entry.total += row.total ?? 0;
  }
  const collected = await db.select<{ c: string | null; method: string; total: number | null }>(
    'SELECT currency_code AS c, method, SUM(amount) AS total FROM settlements ' +
      'WHERE shift_uuid = ? AND deleted = 0 GROUP BY currency_code, method',
    [shift.uuid],
  );
  for (const row of collected) add(bucket(row.c).collected, row.method, row.total);
  for (const row of await shiftRefunds(db, shift.uuid)) add(bucket(row.c).refunded, row.method, row.total);

  const byCurrency: Record<string, ShiftFigures> = {};
  for (const [code, b] of buckets) {
    const countedCash = code in countedMap ? roundCents(countedMap[code]!) : code === base && counted !== null ? roundCents(counted) : null;
    byCurrency[code] = figures(b, code === base ? roundCents(shift.opening_cash) : 0, countedCash);
  }
  return { ...byCurrency[base]!, currency: base, byCurrency };
}

function figures(b: Bucket, openingCash: number, countedCash: number | null): ShiftFigures {
  const sales: Record<string, SalesEntry> = {};
  let salesTotal = 0;
  let salesCount = 0;
  for (const [method, entry] of Object.entries(b.sales)) {
    sales[method] = { count: entry.count, total: roundCents(entry.total) };
    salesTotal += entry.total;
    salesCount += entry.count;
  }
  const rounded = (map: Record<string, number>) =>
    Object.fromEntries(Object.entries(map).map(([k, v]) => [k, roundCents(v)]));
  const collected = rounded(b.collected);
  const refunded = rounded(b.refunded);
  const collectedTotal = roundCents(Object.values(b.collected).reduce((s, v) => s + v, 0));
  const expectedCash = roundCents(openingCash + sales.cash!.total + (collected.cash ?? 0) - (refunded.cash ?? 0));
  return {
    sales,
    salesTotal: roundCents(salesTotal),
    salesCount,
    collected,
    collectedTotal,
    refunded,
    openingCash,
    expectedCash,
    countedCash,
    variance: countedCash === null ? null : roundCents(countedCash - expectedCash),
  };
}
