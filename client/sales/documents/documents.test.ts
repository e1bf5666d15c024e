// @vitest-environment happy-dom
import { beforeAll, describe, expect, it } from 'vitest';
import { entities } from '../../app/features';
import { applyLanguage } from '../../shell';
import type { LocalDb } from '../../storage';
import { openMemoryDb } from '../../storage/testing';
import { unreachableSyncEngine } from '../../sync/testing';
import { DocumentDraft, type DocumentKind, type DraftLine } from './draft';
import { listEntry, type DocumentRow } from './list-rows';
import { pdfFileName } from './pdf';

const DEVICE = '0190a1b2-c3d4-7e5f-8a9b-00000000dc01';
const NOW = new Date('2026-03-30T22:30:00Z');

async function fixture() {
  const db = await openMemoryDb();
  const sync = unreachableSyncEngine(db, entities, DEVICE);
  await db.execute(
    'INSERT INTO products (uuid, name, price, stock, is_active, deleted, dirty, local_updated_at) VALUES ' +
      "('p-pen', 'Pen', 2.5, 10, 1, 0, 0, '2026-01-01T00:00:00Z'), ('p-ink', 'Ink', 4, 5, 1, 0, 0, '2026-01-01T00:00:00Z')",
  );
  return { db, sync };
}

const line = (name: string, quantity: number, unit_price: number, product_uuid: string | null = null): DraftLine => ({
  product_uuid,
  name,
  quantity,
  unit_price,
});

function draft(kind: DocumentKind, lines: DraftLine[], fields: Partial<DocumentDraft> = {}): DocumentDraft {
  return Object.assign(new DocumentDraft(kind, NOW), { clientUuid: 'c-1', lines }, fields);
}

const stock = async (db: LocalDb) =>
  Object.fromEntries(
    (await db.select<{ uuid: string; stock: number }>('SELECT uuid, stock FROM products ORDER BY uuid')).map((r) => [r.uuid, r.stock]),
  );

const queued = (db: LocalDb) => db.select<{ entity: string; uuid: string; data_json: string }>('SELECT entity, uuid, data_json FROM outbox');

describe('document totals come from the items that are saved', () => {
  it.each([
    ['unnamed and zero lines count for nothing', 'invoice', [line('A', 2, 10), line('  ', 5, 99), line('B', 0, 99)], 0, 0, [2], { subtotal: 20, discount: 0, tax: 0, total: 20 }],
    ['an invoice counts 2.6 as 3 and drops 0.4', 'invoice', [line('A', 2.6, 1.1), line('B', 0.4, 50)], 0, 0, [3], { subtotal: 3.3, discount: 0, tax: 0, total: 3.3 }],
    ['a quotation keeps 2.6', 'quotation', [line('A', 2.6, 1.1)], 0, 0, [2.6], { subtotal: 2.86, discount: 0, tax: 0, total: 2.86 }],
    ['VAT on the amount after the discount, rounded half up', 'invoice', [line('A', 3, 3.35)], 1, 15, [3], { subtotal: 10.05, discount: 1, tax: 1.36, total: 10.41 }],
    ['a discount above the subtotal stops at it', 'quotation', [line('A', 1, 20)], 50, 10, [1], { subtotal: 20, discount: 20, tax: 0, total: 0 }],
  ] as const)('%s', (_, kind, lines, discount, vatPercent, quantities, totals) => {
    const d = draft(kind, lines.map((l) => ({ ...l })), { discount, vatPercent });
    expect(d.items.map((i) => i.quantity)).toEqual(quantities);
    expect(d.totals).toEqual(totals);
  });

  it('shows an invoice quantity rounded as soon as it is entered, a quotation quantity as entered', () => {
    const invoice = draft('invoice', [line('A', 1, 2)]);
    invoice.setQuantity(invoice.lines[0]!, '2.6');
    expect(invoice.lines[0]!.quantity).toBe(3);
    expect(invoice.lineAmount(invoice.lines[0]!)).toBe(6);
    const quote = draft('quotation', [line('A', 1, 2)]);
    quote.setQuantity(quote.lines[0]!, '2.6');
    expect(quote.lines[0]!.quantity).toBe(2.6);
  });

  it('saves only with a client and at least one item', () => {
    expect(draft('invoice', [line('A', 1, 1)], { clientUuid: '' }).canSave).toBe(false);
    expect(draft('invoice', [line('', 1, 1)]).canSave).toBe(false);
    expect(draft('invoice', [line('A', 1, 1)]).canSave).toBe(true);
  });
});

describe('saving', () => {
  it('queues an invoice once and takes its products from stock at once', async () => {
    const { db, sync } = await fixture();
    const d = draft('invoice', [line('Pen', 2.6, 2.5, 'p-pen'), line('Pen', 1, 2.5, 'p-pen'), line('Labour', 1, 30)], {
      vatPercent: 10,
      notes: '  ',
    });
    const uuid = await d.save(sync, NOW);

    expect(await stock(db)).toEqual({ 'p-ink': 5, 'p-pen': 6 });
    const ops = await queued(db);
    expect(ops.map((o) => [o.entity, o.uuid])).toEqual([['invoice', uuid]]);
    const [row] = await db.select('SELECT * FROM invoices WHERE uuid = ?', [uuid]);
    expect(row).toMatchObject({
      status: 'pending_review',
      client_uuid: 'c-1',
      invoice_date: '2026-03-30',
      due_date: '2026-04-13',
      notes: null,
      subtotal: 40,
      tax: 4,
      total: 44,
      dirty: 1,
    });
    expect(String(row!.offline_reference)).toMatch(/^OFF-/);
    expect(JSON.parse(String(row!.items_json))).toEqual([
      { product_uuid: 'p-pen', name: 'Pen', quantity: 3, unit_price: 2.5 },
      { product_uuid: 'p-pen', name: 'Pen', quantity: 1, unit_price: 2.5 },
      { name: 'Labour', quantity: 1, unit_price: 30 },
    ]);
    expect(JSON.parse(String(row!.taxes_json))).toEqual([{ name: 'VAT', type: 'percentage', value: 10 }]);
  });

  it('stores a quotation without touching stock, its VAT as a rate, and an invoice without VAT with no taxes', async () => {
    const { db, sync } = await fixture();
    const quote = await draft('quotation', [line('Ink', 2.5, 4, 'p-ink')], { vatPercent: 5, terms: 'Net 30' }).save(sync, NOW);
    const invoice = await draft('invoice', [line('Labour', 1, 30)]).save(sync, NOW);

    expect(await stock(db)).toEqual({ 'p-ink': 5, 'p-pen': 10 });
    const [q] = await db.select('SELECT * FROM quotations WHERE uuid = ?', [quote]);
    expect(q).toMatchObject({ status: 'pending', tax_rate: 5, taxes_json: '[]', terms: 'Net 30', valid_until: '2026-04-29', total: 10.5 });
    const [i] = await db.select('SELECT taxes_json FROM invoices WHERE uuid = ?', [invoice]);
    expect(i!.taxes_json).toBe('[]');
  });

  it('keeps the draft and lets it save again after a failure', async () => {
    const d = draft('invoice', [line('A', 1, 1)]);
    const failing = {
      save: () => Promise.reject(new Error('disk full')),
      remove: () => Promise.resolve(),
      nextOfflineReference: () => Promise.resolve('OFF-1'),
    };
    await expect(d.save(failing, NOW)).rejects.toThrow('disk full');
    expect(d.lines).toHaveLength(1);
    expect(d.canSave).toBe(true);
  });
});

describe('PDF file names', () => {
  it.each([
    ['a percent-encoded Arabic name', `attachment; filename="INV-7.pdf"; filename*=UTF-8''%D9%81%D8%A7%D8%AA%D9%88%D8%B1%D8%A9%207.pdf`, 'فاتورة 7.pdf'],
    ['a quoted plain name', 'attachment; filename="INV-0007.pdf"', 'INV-0007.pdf'],
    ['an unquoted plain name', 'inline; filename=Q-12.pdf', 'Q-12.pdf'],
    ['no header', null, 'INV-0007.pdf'],
    ['no name in the header', 'attachment', 'INV-0007.pdf'],
    ['a broken encoding falls back to the plain name', `attachment; filename*=UTF-8''%E0%A4%A; filename="plain.pdf"`, 'plain.pdf'],
    ['folders are dropped', 'attachment; filename="../../.config/autostart/x.pdf"', 'configautostartx.pdf'],
    ['control characters and a leading dot are dropped', `attachment; filename*=UTF-8''.%0Ahidden%00.pdf`, 'hidden.pdf'],
    ['a name of only dots and slashes becomes the number', 'attachment; filename="../.."', 'INV-0007.pdf'],
    ['another type is still saved as a PDF', 'attachment; filename="run.exe"', 'run.exe.pdf'],
  ])('%s', (_, header, expected) => {
    expect(pdfFileName(header, 'INV-0007')).toBe(expected);
  });
});

describe('list rows', () => {
  beforeAll(() => applyLanguage('en'));
  const row = (fields: Partial<DocumentRow>): DocumentRow => ({
    uuid: 'u',
    dirty: 0,
    status: 'paid',
    total: 5,
    currency_code: 'LYD',
    client_name: null,
    ...fields,
  });

  it.each([
    ['a numbered, clean invoice shows its status', 'invoice', row({ invoice_number: 'INV-1', due_date: '2026-04-01' }), ['INV-1', 'Walk-in Customer', '2026-04-01', '', 'Paid', 'done', 'INV-1']],
    ['a dirty invoice is not synced yet', 'invoice', row({ invoice_number: 'INV-1', dirty: 1 }), ['INV-1', 'Walk-in Customer', null, '', 'Not synced yet', 'unsynced', 'INV-1']],
    ['an unnumbered invoice shows its offline reference', 'invoice', row({ offline_reference: 'OFF-1' }), ['OFF-1', 'Walk-in Customer', null, '', 'Not synced yet', 'unsynced', null]],
    ['an unnumbered quotation is a draft', 'quotation', row({ status: 'pending', client_name: 'Sara' }), ['Draft', 'Sara', null, '', 'Not synced yet', 'unsynced', null]],
    ['a rejected quotation', 'quotation', row({ status: 'rejected', quotation_number: 'Q-3', valid_until: '2026-05-01', client_name: 'Sara' }), ['Q-3', 'Sara', '2026-05-01', 'Valid until', 'Rejected', 'off', 'Q-3']],
  ] as const)('%s', (_, kind, given, [title, client, date, dateLabel, status, tone, number]) => {
    expect(listEntry(kind, given)).toMatchObject({ title, client, date, dateLabel, status, tone, number });
  });
});
