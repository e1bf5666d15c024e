// @vitest-environment happy-dom
import { describe, expect, it } from 'vitest';
import { entities } from '../../app/features';
import { documentTotals, roundCents } from './amounts';
import { product, tillFixture, type TillFixture } from './testing';

const strict = { pos: { allow_negative_stock: false } };
const fixture = (tenant: Record<string, unknown> = {}) => tillFixture(entities, tenant);
const events = (f: TillFixture) =>
  f.db.select<{ type: string; quantity: number; amount: number; note: string | null }>(
    'SELECT type, quantity, amount, note FROM pos_events ORDER BY local_updated_at, rowid',
  );
const outbox = async (f: TillFixture, entity: string) =>
  (await f.db.select<{ data_json: string }>('SELECT data_json FROM outbox WHERE entity = ? ORDER BY seq', [entity])).map(
    (r) => JSON.parse(r.data_json) as Record<string, unknown>,
  );

describe('totals', () => {
  it.each([
    ['percentage above 100 counts as 100', 'percentage', 150, 0, { subtotal: 20, discount: 20, tax: 0, total: 0 }],
    ['negative discount counts as 0', 'fixed', -5, 0, { subtotal: 20, discount: 0, tax: 0, total: 20 }],
    ['fixed discount above the subtotal stops at it', 'fixed', 50, 0, { subtotal: 20, discount: 20, tax: 0, total: 0 }],
    ['VAT on the amount after the discount', 'percentage', 10, 15, { subtotal: 20, discount: 2, tax: 2.7, total: 20.7 }],
  ] as const)('%s', (_, type, discount, rate, expected) => {
    expect(documentTotals([{ quantity: 2, unit_price: 10 }], discount, type, rate)).toEqual(expected);
  });

  it('sums line amounts before rounding and rounds the decimal text exactly', () => {
    expect(documentTotals([{ quantity: 1, unit_price: 0.335 }, { quantity: 1, unit_price: 0.335 }]).subtotal).toBe(0.67);
    expect([1.005, 10.005, 2.675, -1.005].map(roundCents)).toEqual([1.01, 10.01, 2.68, -1.01]);
  });

  it('charges VAT only on a formal sale, after the points', async () => {
    const f = await fixture({ pos: { informal_allowed: true }, loyalty: { enabled: true, point_value: 0.1 } });
    f.till.addProduct(await product({ price: 50 }));
    Object.assign(f.till.cart, { vatOn: true, vatRate: 10, redeemPoints: 100 });
    await f.till.setClient({ uuid: 'c1', name: 'A', phone: null, whatsapp_number: null, email: null, wallet_balance: 0, loyalty_points: 100 });
    expect(f.till.totals).toEqual({ subtotal: 50, discount: 10, tax: 4, total: 44 });
    f.till.cart.formal = false;
    expect(f.till.totals.tax).toBe(0);
  });

  it.each([
    ['capped by the percent of the net', { max_redeem_percent: 10 }, 50, 40, 40],
    ['below the minimum gives nothing', { max_redeem_percent: 10, min_redeem: 45 }, 50, 40, 0],
    ['capped by the points held', {}, 40, 50, 40],
  ])('redeemable points: %s', async (_, loyalty, points, price, expected) => {
    const f = await fixture({ loyalty: { enabled: true, point_value: 0.1, ...loyalty } });
    f.till.addProduct(await product({ price }));
    await f.till.setClient({ uuid: 'c', name: 'C', phone: null, whatsapp_number: null, email: null, wallet_balance: 0, loyalty_points: points });
    expect(f.till.maxRedeemablePoints).toBe(expected);
  });
});

describe('stock rule and cart edits', () => {
  it('refuses a box beyond the available pieces and checks a switch to boxes in pieces', async () => {
    const f = await fixture(strict);
    const water = await product({ stock: 10, box_pieces: 12, box_price: 100 });
    expect(f.till.addProduct(water, 1, false, 'box')).toBe(false);
    expect(f.till.cart.lines).toHaveLength(0);
    expect(f.till.addProduct(water)).toBe(true);
    const line = f.till.cart.lines[0]!;
    expect(f.till.switchLineUnit(line, 'box')).toBe(false);
    expect(f.till.switchLineUnit(line, 'box', true)).toBe(true);
    expect(line).toMatchObject({ unit_kind: 'box', unit_factor: 12, base_price: 100, override: true, quantity: 1 });
  });

  it('merges a box line switched back to pieces into the piece line', async () => {
    const f = await fixture();
    const water = await product({ price: 1, box_pieces: 6, box_price: 5 });
    f.till.addProduct(water, 2);
    f.till.addProduct(water, 1, false, 'box');
    expect(f.till.switchLineUnit(f.till.cart.lines[1]!, 'piece')).toBe(true);
    expect(f.till.cart.lines).toHaveLength(1);
    expect(f.till.cart.lines[0]).toMatchObject({ unit_kind: 'piece', quantity: 3 });
  });

  it('never refuses when the tenant has no till settings', async () => {
    const f = await fixture();
    expect(f.till.addProduct(await product({ stock: 0 }), 5)).toBe(true);
  });

  it.each([
    ['a weighed line keeps its grams on +', 'kg', 1.25, 2.25, 2.25],
    ['a weighed line keeps its grams on −', 'kg', 1.25, 0.25, 0.25],
    ['a typed weight stays', 'kg', 1, 1.5, 1.5],
    ['a weight is kept to grams', 'kg', 1, 0.33349, 0.333],
    ['pieces are whole', 'piece', 1, 1.5, 1],
  ])('%s', async (_, unit, start, typed, expected) => {
    const f = await fixture();
    f.till.addProduct(await product({ unit }), start);
    expect(f.till.setLineQuantity(f.till.cart.lines[0]!, typed)).toBe(true);
    expect(f.till.cart.lines[0]!.quantity).toBe(expected);
  });

  it('logs what a lowered or removed line took away, and a cancelled cart', async () => {
    const f = await fixture();
    f.till.addProduct(await product({ name: 'Tea', price: 2.5 }), 3);
    f.till.setLineQuantity(f.till.cart.lines[0]!, 1);
    f.till.setLineQuantity(f.till.cart.lines[0]!, 0);
    f.till.addProduct(await product({ name: 'Rice', price: 4 }), 2);
    f.till.clearCart(true);
    await f.till.settled();
    expect(await events(f)).toEqual([
      { type: 'void_line', quantity: 2, amount: 5, note: null },
      { type: 'void_line', quantity: 1, amount: 2.5, note: null },
      { type: 'clear_cart', quantity: 2, amount: 8, note: '2× Rice' },
    ]);
  });
});

describe('blocker', () => {
  const client = (wallet: number) => ({
    uuid: 'c1', name: 'Huda', phone: null, whatsapp_number: null, email: null, wallet_balance: wallet, loyalty_points: 0,
  });
  const usd = { currencies: [{ code: 'LYD', rate: 1, base: true, default: true }, { code: 'USD', rate: 4.85 }] };

  it.each([
    ['cash below the total', (f: TillFixture) => void (f.till.cart.tendered = 5), 'Not enough cash received'],
    ['cash not entered', () => {}, ''],
    ['credit without a client', (f: TillFixture) => f.till.setMethod('credit'), 'Choose the customer who is buying on credit'],
    ['wallet without a client', (f: TillFixture) => f.till.setMethod('wallet'), 'Choose the customer whose wallet pays'],
    ['a quantity above 100000', (f: TillFixture) => f.till.setLineQuantity(f.till.cart.lines[0]!, 100_001), "A line's quantity cannot exceed 100000."],
  ])('%s', async (_, arrange, expected) => {
    const f = await fixture();
    f.till.addProduct(await product({ price: 10 }));
    arrange(f);
    expect(f.till.blocker).toBe(expected);
  });

  it.each([
    [20_000_000, 50, ''],
    [20_000_000, 51, 'Sale amounts must lie between 0 and 1000000000.'],
    [100_000_001, 1, "A line's price cannot exceed 100000000."],
  ])('holds a sale of %d × %d to what the server takes', async (price, quantity, expected) => {
    const f = await fixture();
    f.till.addProduct(await product({ price, stock: 1000 }), quantity);
    expect(f.till.blocker).toBe(expected);
  });

  it('compares the wallet in the base currency', async () => {
    const f = await fixture(usd);
    f.till.addProduct(await product({ price: 48.5 }));
    f.till.setSaleCurrency('USD');
    f.till.setMethod('wallet');
    await f.till.setClient(client(40));
    expect(f.till.totals.total).toBe(10);
    expect(f.till.blocker).toBe('Not enough wallet balance');
    await f.till.setClient(client(48.5));
    expect(f.till.blocker).toBe('');
  });

  it.each([
    ['the wallet of a client whose unsynced sales spent it', 50, null, 'Not enough wallet balance'],
    ['the offline limit of a card over all its offline sales', 500, 50, "Above this card's limit with no connection"],
  ])('a second offline sale of 30 is refused by %s', async (_, wallet, limit, refusal) => {
    const f = await fixture();
    const card = limit ? { uuid: 'k1', hash: 'h', status: 'active', offline_limit: limit, last4: '9911' } : null;
    f.online.value = false;
    for (const expected of ['', refusal]) {
      f.till.addProduct(await product({ price: 30 }));
      f.till.setMethod('wallet');
      await f.till.setClient(client(wallet), card);
      expect(f.till.blocker).toBe(expected);
      if (!expected) await f.till.chargeSale();
    }
  });
});

describe('chargeSale', () => {
  it('writes the sale, its operation and its holds together; a walk-in sale sends no client', async () => {
    const f = await fixture({ pos: { allow_negative_stock: false, terminals: [{ id: 2, name: 'Till 2' }] } });
    f.shift.uuid = 'shift-1';
    await f.till.loadTillSettings();
    const milk = await product({ price: 4.5, stock: 48, box_pieces: 12, box_price: 50 }, f.db);
    const bag = await product({ type: 'service', price: 0.25, stock: 0 }, f.db);
    f.till.addProduct(milk, 1, false, 'box');
    f.till.addProduct(milk, 2);
    f.till.addProduct(bag);
    f.till.cart.tendered = 100;
    const sale = await f.till.chargeSale('delivery', '  Door 4  ');
    expect(sale).toMatchObject({ reference: 'POS-ABCD-00001', total: 59.25, change: 40.75, offline: false });
    expect(f.till.cart.lines).toHaveLength(0);
    const [row] = await f.db.select('SELECT client_uuid, status, pos_method, shift_uuid, total, dirty FROM invoices');
    expect(row).toEqual({ client_uuid: '', status: 'paid', pos_method: 'cash', shift_uuid: 'shift-1', total: 59.25, dirty: 1 });
    expect(await f.db.select('SELECT product_uuid, quantity FROM stock_holds')).toEqual([{ product_uuid: milk.uuid, quantity: 14 }]);
    const [sent] = await outbox(f, 'pos_sale');
    expect(sent).not.toHaveProperty('client_uuid');
    expect(sent).toMatchObject({ terminal_id: '2', order_type: 'delivery', note: 'Door 4', paid_amount: 59.25, taxes: [] });
    // The server works out the sale from its lines: they must travel.
    expect(sent?.items).toEqual([
      { product_uuid: milk.uuid, name: expect.stringContaining('(12'), quantity: 1, unit_price: 50, unit: 'box', unit_factor: 12 },
      { product_uuid: milk.uuid, name: milk.name, quantity: 2, unit_price: milk.price },
      { product_uuid: bag.uuid, name: bag.name, quantity: 1, unit_price: 0.25 },
    ]);
  });

  it('adds a scan that arrives during a charge to the next sale', async () => {
    const f = await fixture();
    const [tea, rice] = [await product({ price: 3 }), await product({ price: 7 })];
    f.till.addProduct(tea);
    const charging = f.till.chargeSale();
    expect(f.till.addProduct(rice)).toBe(true);
    const sale = await charging;
    expect(sale.lines.map((l) => l.product_uuid)).toEqual([tea.uuid]);
    expect(f.till.cart.lines.map((l) => l.product_uuid)).toEqual([rice.uuid]);
  });

  it('keeps the cart when the sale cannot be stored, and logs approved lines after a sale', async () => {
    const f = await fixture(strict);
    const scarce = await product({ stock: 0, name: 'Dates' });
    f.till.addProduct(scarce, 2, true);
    await f.db.execute('DROP TABLE stock_holds');
    await expect(f.till.chargeSale()).rejects.toThrow();
    expect(f.till.cart.lines).toHaveLength(1);
    expect(await f.db.select('SELECT uuid FROM invoices')).toEqual([]);
    await f.db.execute('CREATE TABLE stock_holds (sale_uuid TEXT NOT NULL, product_uuid TEXT NOT NULL, quantity REAL NOT NULL, PRIMARY KEY (sale_uuid, product_uuid))');
    const sale = await f.till.chargeSale();
    expect(await events(f)).toEqual([{ type: 'override_stock', quantity: 2, amount: 20, note: sale.reference }]);
  });

  it('refuses a blocked cart with the blocker text', async () => {
    const f = await fixture();
    await expect(f.till.chargeSale()).rejects.toThrow('Nothing to charge');
    f.till.addProduct(await product());
    f.till.setMethod('credit');
    await expect(f.till.chargeSale()).rejects.toThrow('Choose the customer who is buying on credit');
  });
});

describe('held carts and settings', () => {
  it('keeps 30 held carts, newest first, and holds the cart in hand before restoring', async () => {
    const f = await fixture();
    const item = await product({ price: 1 });
    for (let i = 1; i <= 31; i++) {
      f.till.addProduct(item, i);
      await f.till.holdInvoice();
    }
    expect(f.till.held).toHaveLength(30);
    expect(f.till.held.map((h) => h.lines[0]!.quantity).slice(-1)).toEqual([2]);
    f.till.addProduct(item, 99);
    await f.till.restoreHeld(f.till.held[5]!.id);
    expect(f.till.cart.lines[0]!.quantity).toBe(26);
    expect(f.till.held[0]!.lines[0]!.quantity).toBe(99);
    await f.db.execute("UPDATE meta SET value = '{broken' WHERE key = 'pos_held'");
    await f.till.loadHeld();
    expect(f.till.held).toEqual([]);
  });

  it('takes a saved terminal only while it is configured, else the only one', async () => {
    const f = await fixture({ pos: { terminals: [{ id: 1, name: 'Till 1' }] } });
    Object.assign(f.till.cart, { vatOn: true, vatRate: 16 });
    f.till.terminalId = '9';
    await f.till.saveTillSettings();
    f.till.cart.vatRate = 0;
    await f.till.loadTillSettings();
    expect([f.till.cart.vatOn, f.till.cart.vatRate, f.till.terminalId]).toEqual([true, 16, '1']);
  });
});
