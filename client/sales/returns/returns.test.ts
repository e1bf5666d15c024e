// @vitest-environment happy-dom
import { afterEach, describe, expect, it, vi } from 'vitest';
import { openMemoryDb } from '../../storage/testing';
import { preselectedMethod, quantityToSend, refund, refundMethods, returnAmount, ReturnUuid, type ReturnableView } from '.';

const view = (client: string | null, method: string | null = 'cash'): ReturnableView => ({
  invoice: { uuid: 'sale-1', number: 'SAL-000001', client, total: 40, method },
  lines: [
    { invoice_item_id: 1, name: 'Tea', sold: 4, returned: 1, returnable: 3, unit_price: 5 },
    { invoice_item_id: 2, name: 'Cheese', sold: 1.25, returned: 0, returnable: 1.25, unit_price: 20, weighed: true },
  ],
  refusal: null,
});

const till = [
  { key: 'cash', label: 'Cash', type: 'cash' },
  { key: 'card', label: 'Card', type: 'card' },
  { key: 'credit', label: 'Credit', type: 'account' },
  { key: 'wallet', label: 'Wallet', type: 'account' },
];

describe('return quantities', () => {
  it.each([
    [1, 5, 3],
    [1, 1.7, 1],
    [1, -2, 0],
    [2, 0.4, 0.4],
    [2, 2, 1.25],
    [2, 0.3337, 0.333],
  ])('line %i typed %f sends %f', (id, typed, sent) => {
    expect(quantityToSend(view(null).lines[id - 1]!, typed)).toBe(sent);
  });

  it('prices what goes back exactly', () => {
    // 3 × 5.00 + 0.4 × 20.00
    expect(returnAmount(view(null), { 1: 5, 2: 0.4 }, 2)).toBe(2300n);
  });
});

describe('refund methods', () => {
  it('offers store credit only to a named client and never an account method', () => {
    expect(refundMethods(till, view('Walk-in Customer'), 'Store credit').map((m) => m.key)).toEqual(['cash', 'card']);
    expect(refundMethods(till, view('Sara'), 'Store credit').map((m) => m.key)).toEqual(['cash', 'card', 'wallet']);
  });

  it('preselects the sale method unless it is an account one', () => {
    expect(preselectedMethod(till, view('Sara', 'card'))).toBe('card');
    expect(preselectedMethod(till, view('Sara', 'wallet'))).toBe('cash');
  });
});

describe('recording a refund', () => {
  afterEach(() => vi.unstubAllGlobals());

  it('resends a return whose reply was lost under the same uuid and keeps one row in the sale currency', async () => {
    const db = await openMemoryDb();
    const bodies: Record<string, unknown>[] = [];
    let calls = 0;
    vi.stubGlobal('fetch', async (_url: string, init: RequestInit) => {
      bodies.push(JSON.parse(String(init.body)) as Record<string, unknown>);
      calls += 1;
      if (calls === 1) throw new TypeError('network lost');
      if (calls === 2) return new Response(JSON.stringify({ message: 'Manager PIN required.', needs_pin: true }), { status: 403 });
      return new Response(
        JSON.stringify({ return: { uuid: bodies[0]!.uuid, number: 'RET-000001', shift_uuid: 'shift-2', method: 'cash', total: 15 } }),
        { status: 201 },
      );
    });
    const uuid = new ReturnUuid();
    const request = { view: view('Sara'), qty: { 1: 3 }, method: 'cash', uuid: uuid.value, reason: null, pin: null, shiftUuid: null, currency: 'EUR' };
    await expect(refund(db, request)).rejects.toThrow('network lost');
    await expect(refund(db, request)).rejects.toMatchObject({ message: 'Manager PIN required.', needsPin: true });
    await refund(db, { ...request, pin: '1234' });
    await refund(db, { ...request, pin: '1234' });
    expect(new Set(bodies.map((b) => b.uuid)).size).toBe(1);
    expect(bodies[2]).toMatchObject({ override_pin: '1234', lines: [{ invoice_item_id: 1, quantity: 3 }] });
    expect(await db.select('SELECT number, amount, currency_code, shift_uuid FROM pos_refunds')).toEqual([
      { number: 'RET-000001', amount: 15, currency_code: 'EUR', shift_uuid: 'shift-2' },
    ]);
    expect(uuid.renew()).not.toBe(request.uuid);
  });

  it('refuses a return with nothing entered before calling the server', async () => {
    const db = await openMemoryDb();
    const request = { view: view(null), qty: { 1: 0.5 }, method: 'cash', uuid: 'r', reason: null, pin: null, shiftUuid: null, currency: null };
    await expect(refund(db, request)).rejects.toThrow('Enter how many of each item come back.');
  });
});
