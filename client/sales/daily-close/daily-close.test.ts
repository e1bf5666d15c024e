// @vitest-environment happy-dom
import { afterAll, beforeAll, describe, expect, it } from 'vitest';
import { entities } from '../../app/features';
import { applyLanguage } from '../../shell';
import type { LocalDb } from '../../storage';
import { tillFixture } from '../till/testing';
import { dailyCloseData } from './daily-close-data';
import { dailyCloseDocument } from './daily-close-document';

// UTC+2 all year: a time stamp late in the UTC evening belongs to the next local day.
const zone = process.env.TZ;
beforeAll(() => {
  process.env.TZ = 'Africa/Tripoli';
  applyLanguage('en');
});
afterAll(() => {
  process.env.TZ = zone;
  applyLanguage('ar');
});

const TENANT = { currencies: [{ code: 'LYD', rate: 1, base: true }, { code: 'USD', rate: 4.8 }] };
const DAY = '2026-12-10';
let serial = 0;
const id = () => `00000000-0000-7000-a000-${String(++serial).padStart(12, '0')}`;

type Invoice = { total: number; paid?: number; method?: string | null; currency?: string | null; date?: string | null; at?: string; status?: string; shift?: string };
async function invoice(db: LocalDb, i: Invoice) {
  await db.execute(
    'INSERT INTO invoices (uuid, client_uuid, due_date, items_json, total, paid_amount, pos_method, currency_code, status, ' +
      'invoice_date, shift_uuid, local_updated_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)',
    [id(), '', DAY, '[]', i.total, i.paid ?? i.total, i.method ?? null, i.currency === undefined ? 'LYD' : i.currency,
      i.status ?? 'paid', i.date === undefined ? DAY : i.date, i.shift ?? null, i.at ?? `${DAY}T09:00:00.000Z`],
  );
}
async function settlement(db: LocalDb, amount: number, method: string, paidAt: string) {
  await db.execute(
    'INSERT INTO settlements (uuid, client_uuid, currency_code, amount, method, paid_at, local_updated_at) VALUES (?, ?, ?, ?, ?, ?, ?)',
    [id(), 'c1', 'LYD', amount, method, paidAt, paidAt],
  );
}
async function expense(db: LocalDb, amount: number, category: string, payment: string | null, currency = 'LYD') {
  await db.execute(
    'INSERT INTO expenses (uuid, title, category, amount, currency_code, expense_date, payment_method, local_updated_at) ' +
      'VALUES (?, ?, ?, ?, ?, ?, ?, ?)',
    [id(), 'x', category, amount, currency, DAY, payment, `${DAY}T08:00:00.000Z`],
  );
}
async function refund(db: LocalDb, amount: number, method: string, createdAt: string) {
  await db.execute(
    'INSERT INTO pos_refunds (uuid, invoice_uuid, method, amount, currency_code, created_at) VALUES (?, ?, ?, ?, ?, ?)',
    [id(), 'inv', method, amount, 'LYD', createdAt],
  );
}
async function shift(db: LocalDb, uuid: string, opening: number, openedAt: string, summary: unknown = null) {
  await db.execute(
    'INSERT INTO shifts (uuid, opened_at, opening_cash, closed_at, summary_json, local_updated_at) VALUES (?, ?, ?, ?, ?, ?)',
    [uuid, openedAt, opening, summary ? `${DAY}T12:00:00.000Z` : null, summary ? JSON.stringify(summary) : null, openedAt],
  );
}

async function day() {
  const { db } = await tillFixture(entities, TENANT);
  await shift(db, 's1', 100, `${DAY}T06:00:00.000Z`);
  await shift(db, 's0', 60, '2026-12-09T21:30:00.000Z'); // 23:30 local on the day before
  await invoice(db, { total: 250, method: 'cash' });
  await invoice(db, { total: 80, paid: 100, method: 'card' }); // overpaid: only the total counts
  await invoice(db, { total: 40, paid: 10 }); // an office invoice, partly paid
  await invoice(db, { total: 30, method: 'cash', date: null, at: '2026-12-09T22:30:00.000Z' }); // 00:30 local
  await invoice(db, { total: 999, method: 'cash', status: 'cancelled' });
  await invoice(db, { total: 55, method: 'cash', date: '2026-12-09' });
  await settlement(db, 40, 'cash', '2026-12-09T23:15:00.000Z'); // 01:15 local
  await settlement(db, 25, 'transfer', '2026-12-10T22:30:00.000Z'); // next local day
  await expense(db, 20, 'rent', 'cash');
  await expense(db, 35, 'utilities', 'card');
  await expense(db, 12, 'other', null, 'USD');
  await refund(db, 15, 'cash', `${DAY}T10:00:00.000Z`);
  await refund(db, 5, 'card', `${DAY}T10:00:00.000Z`);
  await refund(db, 7, 'cash', '2026-12-10T23:00:00.000Z'); // next local day
  return db;
}

describe('daily close data', () => {
  it('accounts for the local day per currency', async () => {
    const data = await dailyCloseData(await day(), TENANT, DAY);
    expect(data).toMatchObject({ day: DAY, base: 'LYD', afterShiftClose: 0 });
    expect(data.currencies.map((c) => c.code)).toEqual(['LYD', 'USD']);
    const [lyd, usd] = data.currencies;
    expect(lyd).toMatchObject({
      invoices: 4,
      sales: 400,
      paidOnSales: 370,
      accountPayments: 40,
      byMethod: [
        { method: 'cash', total: 320 },
        { method: 'card', total: 80 },
        { method: 'invoice', total: 10 },
      ],
      cashIn: 320,
      nonCashIn: 90,
      expenses: 55,
      expenseCount: 2,
      cashExpenses: 20,
      refunds: 20,
      cashRefunds: 15,
      opening: 100,
      drawer: 385,
      net: 335,
    });
    expect(usd).toMatchObject({ invoices: 0, expenses: 12, cashExpenses: 12, opening: 0, drawer: -12, net: -12 });
  });

  it('falls back to the single company currency as the base', async () => {
    const { db } = await tillFixture(entities, {});
    await shift(db, 's1', 50, `${DAY}T06:00:00.000Z`);
    await invoice(db, { total: 10, method: 'cash', currency: null });
    const data = await dailyCloseData(db, { currency: 'LYD' }, DAY);
    expect(data.currencies).toMatchObject([{ code: 'LYD', opening: 50, cashIn: 10, drawer: 60 }]);
  });

  it('counts sales that reached their shift after its report was final, and says so', async () => {
    const { db } = await tillFixture(entities, TENANT);
    await shift(db, 'closed', 0, `${DAY}T06:00:00.000Z`, { salesCount: 1, byCurrency: { LYD: { salesCount: 1 } } });
    await invoice(db, { total: 10, method: 'cash', shift: 'closed' });
    await invoice(db, { total: 15, method: 'cash', shift: 'closed' });
    const data = await dailyCloseData(db, TENANT, DAY);
    expect(data.afterShiftClose).toBe(1);
    expect(data.currencies[0]).toMatchObject({ invoices: 2, cashIn: 25 });
    expect(dailyCloseDocument(data, 'Shop', TENANT).lines.map((l) => l.text)).toContain('Sold after their shift closed: 1');
  });
  it("counts every till's returns once, pulled or still only on this till", async () => {
    const { db } = await tillFixture(entities, TENANT);
    await shift(db, 's1', 100, `${DAY}T06:00:00.000Z`);
    await invoice(db, { total: 250, method: 'cash' });
    const pulled = (uuid: string, amount: number) =>
      db.execute(
        'INSERT INTO pos_returns (uuid, number, invoice_uuid, method, amount, currency_code, created_at, version, local_updated_at) ' +
          'VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)',
        [uuid, 'RET-1', 'inv', 'cash', amount, 'LYD', `${DAY}T11:00:00.000Z`, '1', `${DAY}T11:00:00.000Z`],
      );
    await refund(db, 15, 'cash', `${DAY}T10:00:00.000Z`); // this till's, not pulled yet
    const [own] = await db.select<{ uuid: string }>('SELECT uuid FROM pos_refunds');
    await pulled(own!.uuid, 15); // the same return, pulled back
    await pulled('other-till', 40); // made on another till
    const data = await dailyCloseData(db, TENANT, DAY);
    expect(data.currencies[0]).toMatchObject({ refunds: 55, cashRefunds: 55, drawer: 295 });
  });
});

describe('daily close document', () => {
  it('writes every amount with a direction mark, expenses and refunds negated', async () => {
    const data = await dailyCloseData(await day(), TENANT, DAY);
    const doc = dailyCloseDocument(data, 'Shop <1>', TENANT);
    expect(doc.title).toBe(`Daily close ${DAY}`);
    const amounts = doc.lines.filter((l) => l.right !== undefined).map((l) => l.right!);
    expect(amounts.every((a) => a.startsWith('\u200E'))).toBe(true);
    const row = (text: string) => doc.lines.find((l) => l.text === text)?.right;
    expect(row('Expenses (2)')).toBe('\u200E-55.00 LYD');
    expect(row('Returns refunded')).toBe('\u200E-20.00 LYD');
    expect(row('Net drawer balance')).toBe('\u200E385.00 LYD');
    expect(doc.html).toContain('Shop &#60;1&#62;');
    expect(doc.html).not.toContain('Shop <1>');
  });
});
