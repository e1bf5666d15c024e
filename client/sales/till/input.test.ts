// @vitest-environment happy-dom
import { describe, expect, it } from 'vitest';
import { entities } from '../../app/features';
import { openMemoryDb } from '../../storage/testing';
import { loadCurrentShift, openShift } from '../shifts';
import { cardHash, checkStoreCard, findCardHolder, normaliseCardId, parseWeighedBarcode, pluMatches } from './barcodes';
import { findByCode, searchProducts } from './lookup';
import { verifyOverridePin } from './pin';
import { BARCODE_SCANNED, startScannerListener } from './scanner';
import { product, tillFixture } from './testing';

/** A weighed code with its check digit: "2", a digit, the PLU, the value. */
function weighed(plu: string, value: string): string {
  const body = `20${plu}${value}`;
  const sum = [...body].reduce((s, d, i) => s + Number(d) * (i % 2 === 0 ? 1 : 3), 0);
  return body + String((10 - (sum % 10)) % 10);
}

const wrongCheck = (code: string) => code.slice(0, 12) + String((Number(code[12]) + 1) % 10);

describe('weighed barcodes and PLUs', () => {
  it.each([
    [weighed('00101', '01250'), { plu: '00101', weightKg: 1.25 }],
    [` ${weighed('00007', '00335')} `, { plu: '00007', weightKg: 0.335 }],
    [wrongCheck(weighed('00101', '01250')), null],
    [weighed('00101', '00000'), null],
    ['6191000000011', null],
    ['2000000000', null],
  ])('%s', (code, expected) => {
    expect(parseWeighedBarcode(code)).toEqual(expected);
  });

  it.each([
    ['101', '00101', true],
    ['00101', '101', true],
    ['0', '00000', false],
    ['', '00000', false],
    ['A101', '00101', false],
    ['102', '00101', false],
  ])('SKU %j names PLU %j: %s', (sku, plu, expected) => {
    expect(pluMatches(sku, plu)).toBe(expected);
  });
});

describe('store cards', () => {
  it('finds the holder by the hash of the normalised identifier, for this tenant only', async () => {
    const db = await openMemoryDb();
    const hash = await cardHash(7, '041277889911');
    const cards = JSON.stringify([{ uuid: 'k', hash, status: 'active', offline_limit: 50, last4: '9911' }]);
    await db.execute(
      "INSERT INTO clients (uuid, name, wallet_balance, loyalty_points, wallet_cards, local_updated_at) VALUES ('c', 'Ahmed', 150, 3, ?, 'x')",
      [cards],
    );
    expect(normaliseCardId(' 0412-7788 99ab ')).toBe('0412778899AB');
    const found = await findCardHolder(db, 7, '0412-7788-9911');
    expect(found?.client).toMatchObject({ uuid: 'c', name: 'Ahmed', wallet_balance: 150 });
    expect(found?.client).not.toHaveProperty('wallet_cards');
    expect(found?.card.uuid).toBe('k');
    expect(await findCardHolder(db, 8, '041277889911')).toBeNull();
    expect(await findCardHolder(db, 7, '041')).toBeNull();
  });

  const card = (status = 'active') => ({ uuid: 'k', hash: 'h', status, offline_limit: 50 });
  it.each([
    ['a blocked card, even with money', card('blocked'), 10, 100, true, 0, 'This card is blocked'],
    ['short balance', card(), 10, 9.99, true, 0, 'Not enough wallet balance'],
    ['offline without a limit', { ...card(), offline_limit: 0 }, 10, 100, false, 0, 'This card works only with a connection'],
    ['offline at the limit', card(), 50.0009, 100, false, 0, ''],
    ['offline above the limit', card(), 50.01, 100, false, 0, "Above this card's limit with no connection"],
    ['offline above the limit with earlier offline sales', card(), 30, 100, false, 30, "Above this card's limit with no connection"],
    ['online above the limit', card(), 80, 100, true, 0, ''],
  ])('%s', (_, c, amount, balance, online, spent, expected) => {
    expect(checkStoreCard(c, amount, balance, online, spent)).toBe(expected);
  });
});

describe('scanner bursts', () => {
  function type(keys: string[], gapMs: number): string[] {
    let clock = 0;
    const seen: string[] = [];
    const listen = (e: Event) => seen.push((e as CustomEvent<string>).detail);
    window.addEventListener(BARCODE_SCANNED, listen);
    const stop = startScannerListener(30, 3, window, () => clock);
    for (const key of keys) {
      clock += gapMs;
      window.dispatchEvent(new KeyboardEvent('keydown', { key }));
    }
    stop();
    window.removeEventListener(BARCODE_SCANNED, listen);
    return seen;
  }

  it('undoes a scan typed into a field it names, and keeps what else is typed', () => {
    const quantity = Object.assign(document.createElement('input'), { value: '1.25' });
    const scan = document.createElement('input');
    document.body.append(quantity, scan);
    let clock = 0;
    const seen: string[] = [];
    const listen = (e: Event) => seen.push((e as CustomEvent<string>).detail);
    const committed: string[] = [];
    quantity.addEventListener('keydown', (e) => e.key === 'Enter' && committed.push(quantity.value));
    window.addEventListener(BARCODE_SCANNED, listen);
    const stop = startScannerListener(30, 3, window, () => clock, (field, code) => field !== scan && code.length >= 8);
    const burst = (field: HTMLInputElement, code: string) => {
      field.focus();
      for (const key of [...code, 'Enter']) {
        clock += 5;
        // A browser types the character after the capture listeners have seen the key.
        if (field.dispatchEvent(new KeyboardEvent('keydown', { key, bubbles: true, cancelable: true })) && key !== 'Enter')
          field.value += key;
      }
    };
    burst(quantity, '6191000000011');
    burst(scan, '6191000000028');
    const undone = [quantity.value, scan.value, [...committed]];
    // Typing that merely arrives fast (a busy machine) and is too short for a code stays.
    quantity.value = '';
    burst(quantity, '100');
    stop();
    window.removeEventListener(BARCODE_SCANNED, listen);
    quantity.remove();
    scan.remove();
    expect(undone).toEqual(['1.25', '6191000000028', []]);
    expect([quantity.value, committed]).toEqual(['100', ['100']]);
    expect(seen).toEqual(['6191000000011', '6191000000028', '100']);
  });

  it.each([
    ['three fast characters', ['1', '2', '3', 'Enter'], 5, ['123']],
    ['two fast characters', ['1', '2', 'Enter'], 5, []],
    ['typing by hand', ['1', '2', '3', '4', 'Enter'], 40, []],
    ['two bursts', ['1', '2', '3', 'Enter', 'a', 'b', 'c', 'Enter'], 5, ['123', 'abc']],
  ])('%s', (_, keys, gap, expected) => {
    expect(type(keys, gap)).toEqual(expected);
  });
});

describe('override PIN', () => {
  it('accepts only the PIN the record was made from', async () => {
    const salt = new Uint8Array(16).fill(7);
    const key = await crypto.subtle.importKey('raw', new TextEncoder().encode('246810'), 'PBKDF2', false, ['deriveBits']);
    const bits = await crypto.subtle.deriveBits({ name: 'PBKDF2', hash: 'SHA-256', salt, iterations: 1000 }, key, 256);
    const b64 = (bytes: Uint8Array) => btoa(String.fromCharCode(...bytes));
    const record = { salt: b64(salt), hash: b64(new Uint8Array(bits)), iterations: 1000 };
    const results = await Promise.all(['246810', '246811', '24681', 'abcdef', ''].map((pin) => verifyOverridePin(record, pin)));
    expect(results).toEqual([true, false, false, false, false]);
    expect(await verifyOverridePin({ ...record, hash: b64(new Uint8Array(bits).slice(0, 31)) }, '246810')).toBe(false);
    expect(await verifyOverridePin(null, '246810')).toBe(false);
  });
});

describe('finding a code', () => {
  it('takes the exact SKU over other matches, then a box barcode, then a weighed PLU', async () => {
    const db = await openMemoryDb();
    const exact = await product({ sku: 'AB12', name: 'Z exact' }, db);
    for (let i = 0; i < 70; i++) await product({ sku: `AB12${i}`, name: `A ${i}` }, db);
    const boxed = await product({ sku: '6191', box_pieces: 12, box_barcode: '96191' }, db);
    const tomato = await product({ sku: '00101', unit: 'kg' }, db);
    expect((await searchProducts(db, 'ab12')).map((p) => p.uuid)).not.toContain(exact.uuid);
    expect(await findByCode(db, 'ab12')).toMatchObject({ product: { uuid: exact.uuid }, quantity: 1, unit: 'piece' });
    expect(await findByCode(db, '96191')).toMatchObject({ product: { uuid: boxed.uuid }, unit: 'box' });
    expect(await findByCode(db, weighed('00101', '01250'))).toMatchObject({ product: { uuid: tomato.uuid }, quantity: 1.25 });
    expect(await findByCode(db, weighed('00000', '01250'))).toBeNull();
    expect(await findByCode(db, 'nothing')).toBeNull();
  });

  it('reads codes and held stock through indexes', async () => {
    const db = await openMemoryDb();
    const plan = async (sql: string) =>
      (await db.select<{ detail: string }>(`EXPLAIN QUERY PLAN ${sql}`)).map((r) => r.detail).join('; ');
    expect(await plan("SELECT uuid FROM products p WHERE p.sku COLLATE NOCASE = 'x'")).toMatch(/USING INDEX products_sku/);
    expect(await plan("SELECT uuid FROM products p WHERE p.box_barcode COLLATE NOCASE = 'x'")).toMatch(/USING INDEX products_box_code/);
    expect(await plan("SELECT SUM(quantity) FROM stock_holds WHERE product_uuid = 'x'")).toMatch(/stock_holds_product/);
  });
});

describe('the till shift', () => {
  it('prefers the shift this till opened to a later one pulled from another till', async () => {
    const f = await tillFixture(entities);
    const mine = await openShift(f.db, f.sync, -20, new Date('2024-05-01T08:00:00Z'));
    expect(mine.opening_cash).toBe(0);
    await f.db.execute(
      "INSERT INTO shifts (uuid, opened_at, opening_cash, local_updated_at) VALUES ('other', '2024-05-01T09:00:00Z', 50, 'x')",
    );
    expect((await loadCurrentShift(f.db))?.uuid).toBe(mine.uuid);
    await f.db.execute('UPDATE shifts SET closed_at = ? WHERE uuid = ?', ['2024-05-01T10:00:00Z', mine.uuid]);
    expect((await loadCurrentShift(f.db))?.uuid).toBe('other');
    const [sent] = await f.db.select<{ data_json: string }>("SELECT data_json FROM outbox WHERE entity = 'pos_shift'");
    expect(JSON.parse(sent!.data_json)).toMatchObject({ opening_cash: 0, device_id: '0190a1b2-c3d4-7e5f-8a9b-00000000abcd' });
  });
});
