// @vitest-environment happy-dom
import { afterAll, beforeAll, describe, expect, it } from 'vitest';
import { entities } from '../../app/features';
import { applyLanguage } from '../../shell';
import type { LocalDb } from '../../storage';
import { tillFixture } from '../till/testing';
import { closeShift } from './close-shift';
import { openShift, type Shift } from './current-shift';
import { countedTotal, emptyCount } from './drawer-count';
import { shiftSummary } from './shift-summary';
import { zReportText } from './z-report';

const TENANT = {
  currencies: [
    { code: 'LYD', rate: 1, base: true },
    { code: 'USD', rate: 4.8 },
  ],
};

let serial = 0;
const id = () => `00000000-0000-7000-9000-${String(++serial).padStart(12, '0')}`;
const NOW = '2026-12-10T10:00:00.000Z';

async function sale(db: LocalDb, shift: string, total: number, method: string | null, currency: string | null = 'LYD', status = 'paid') {
  await db.execute(
    'INSERT INTO invoices (uuid, client_uuid, due_date, items_json, total, paid_amount, pos_method, currency_code, status, ' +
      'shift_uuid, invoice_date, local_updated_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)',
    [id(), '', '2026-12-10', '[]', total, total, method, currency, status, shift, '2026-12-10', NOW],
  );
}

async function payment(db: LocalDb, shift: string, amount: number, method = 'cash', currency: string | null = 'LYD') {
  await db.execute(
    'INSERT INTO settlements (uuid, client_uuid, currency_code, amount, method, paid_at, shift_uuid, local_updated_at) ' +
      'VALUES (?, ?, ?, ?, ?, ?, ?, ?)',
    [id(), 'c1', currency, amount, method, NOW, shift, NOW],
  );
}

async function refund(db: LocalDb, shift: string, amount: number, method = 'cash', currency: string | null = 'LYD') {
  await db.execute(
    'INSERT INTO pos_refunds (uuid, invoice_uuid, shift_uuid, method, amount, currency_code, created_at) VALUES (?, ?, ?, ?, ?, ?, ?)',
    [id(), 'inv', shift, method, amount, currency, NOW],
  );
}

async function openWith(opening: number) {
  const f = await tillFixture(entities, TENANT);
  const shift = await openShift(f.db, f.sync, opening);
  return { ...f, shift };
}

/** The worked example: 100 opening, 250 cash sales, 40 collected, 15 refunded. */
async function example() {
  const f = await openWith(100);
  const s = f.shift.uuid;
  await sale(f.db, s, 200, 'cash');
  await sale(f.db, s, 50, 'cash');
  await sale(f.db, s, 999, 'cash', 'LYD', 'cancelled');
  await sale(f.db, s, 30, 'card');
  await sale(f.db, s, 20, 'credit');
  await sale(f.db, s, 12.5, 'wallet');
  await payment(f.db, s, 40);
  await refund(f.db, s, 15);
  await sale(f.db, 'another-shift', 70, 'cash');
  return f;
}

describe('shift summary', () => {
  it('expects opening + cash sales + cash collected − cash refunded, and measures the count against it', async () => {
    const f = await example();
    const report = await shiftSummary(f.db, TENANT, f.shift, 370);
    expect(report).toMatchObject({
      currency: 'LYD',
      openingCash: 100,
      expectedCash: 375,
      countedCash: 370,
      variance: -5,
      salesTotal: 312.5,
      salesCount: 5,
      collectedTotal: 40,
      refunded: { cash: 15 },
    });
    expect(report.sales).toEqual({
      cash: { count: 2, total: 250 },
      card: { count: 1, total: 30 },
      transfer: { count: 0, total: 0 },
      credit: { count: 1, total: 20 },
      wallet: { count: 1, total: 12.5 },
    });
    expect((await shiftSummary(f.db, TENANT, f.shift)).countedCash).toBeNull();
  });

  it('adds rows without a currency to the base currency rows of the same method', async () => {
    const f = await openWith(0);
    await sale(f.db, f.shift.uuid, 10, 'cash', null);
    await sale(f.db, f.shift.uuid, 5.25, 'cash', 'LYD');
    await sale(f.db, f.shift.uuid, 1, null, null);
    await payment(f.db, f.shift.uuid, 3, 'cash', null);
    await payment(f.db, f.shift.uuid, 4, 'cash', 'LYD');
    await refund(f.db, f.shift.uuid, 2, 'cash', null);
    await refund(f.db, f.shift.uuid, 1, 'cash', 'LYD');
    const report = await shiftSummary(f.db, TENANT, f.shift);
    expect(report.sales.cash).toEqual({ count: 2, total: 15.25 });
    expect(report.sales.other).toEqual({ count: 1, total: 1 });
    expect(report).toMatchObject({ collected: { cash: 7 }, refunded: { cash: 3 }, expectedCash: 19.25 });
    expect(Object.keys(report.byCurrency)).toEqual(['LYD']);
  });

  it('gives a second currency its own figures, opening at 0', async () => {
    const f = await openWith(100);
    await sale(f.db, f.shift.uuid, 20, 'cash', 'USD');
    await sale(f.db, f.shift.uuid, 7, 'card', 'USD');
    const report = await shiftSummary(f.db, TENANT, f.shift, null, { USD: 19 });
    expect(report.byCurrency.USD).toMatchObject({ openingCash: 0, expectedCash: 20, salesTotal: 27, countedCash: 19, variance: -1 });
    expect(report).toMatchObject({ expectedCash: 100, countedCash: null, salesTotal: 0 });
  });
});

describe('closing the shift', () => {
  it('stores the count per currency and the report with the shift', async () => {
    const f = await example();
    const closedAt = new Date('2026-12-10T18:00:00Z');
    const result = await closeShift(f.db, f.sync, TENANT, f.shift, { LYD: '370', USD: -4, EUR: 'x' }, '  short by 5  ', closedAt);
    expect(result.report).toMatchObject({ expectedCash: 375, countedCash: 370, variance: -5 });
    expect(result.report.byCurrency.USD).toBeUndefined();
    type Row = { closed_at: string; counted_cash: number; notes: string | null; counted_json: string; summary_json: string };
    const [row] = await f.db.select<Row>(
      'SELECT closed_at, counted_cash, notes, counted_json, summary_json FROM shifts WHERE uuid = ?',
      [f.shift.uuid],
    );
    expect(row).toMatchObject({ closed_at: closedAt.toISOString(), counted_cash: 370, notes: 'short by 5' });
    expect(JSON.parse(String(row!.counted_json))).toEqual({ LYD: 370, USD: 0, EUR: 0 });
    expect(JSON.parse(String(row!.summary_json))).toMatchObject({ variance: -5 });
    const ops = await f.db.select<{ data_json: string }>("SELECT data_json FROM outbox WHERE entity = 'pos_shift' ORDER BY seq");
    const sent = JSON.parse(ops.at(-1)!.data_json) as Record<string, unknown>;
    expect(sent).toMatchObject({ closed_at: closedAt.toISOString(), counted_cash: 370 });
  });

  it('refuses without an open shift', async () => {
    const f = await tillFixture(entities, TENANT);
    await expect(closeShift(f.db, f.sync, TENANT, null as Shift | null, {}, '')).rejects.toThrow('No open shift');
  });
});

describe('Z-report text', () => {
  beforeAll(() => applyLanguage('en'));
  afterAll(() => applyLanguage('ar'));

  it('lists the methods and the drawer figures, a missing count as a dash', async () => {
    const f = await example();
    const open = zReportText(f.shift, await shiftSummary(f.db, TENANT, f.shift), 'Shop', 'Sara').split('\n');
    expect(open[0]).toBe('*Shop — Z-report*');
    expect(open[2]).toMatch(/ → open$/);
    expect(open.slice(4)).toEqual([
      'Cash: 250.00 (2)',
      'Card: 30.00 (1)',
      'Transfer: 0.00 (0)',
      'Credit: 20.00 (1)',
      '*Total sales*: 312.50',
      'Debt collected: 40.00',
      '────────────',
      'Opening cash: 100.00',
      'Expected cash: 375.00',
      'Counted cash: —',
      '*Variance*: —',
    ]);
  });
});

describe('drawer count', () => {
  it.each([
    ['denomination rows only', { '50': 7, '20': 1, '0.25': 2 }, '', 370.5],
    ['a typed total wins over the rows', { '50': 7 }, '360', 360],
    ['an erased total falls back to the rows', { '50': 7, '20': 1 }, '   ', 370],
    ['a count that is not a number counts 0', { '50': 'abc', '5': 2 }, '', 10],
    ['a negative typed total counts 0', {}, '-3', 0],
  ])('%s', (_, pieces, typed, expected) => {
    expect(countedTotal('LYD', { ...emptyCount(), pieces, typed })).toBe(expected);
  });
});
