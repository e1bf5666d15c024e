// The till at catalogue size over sql.js in Node: scan to line, search while
// typing, exact SKU lookup, a charge with a long queue, and back-to-back
// offline sales. Prints figures only.
import { it } from 'vitest';
import { entities } from '../../client/app/features';
import { findByCode, searchProducts } from '../../client/sales/till/lookup';
import { tillFixture } from '../../client/sales/till/testing';

const PRODUCTS = Number(process.env.TOVIK_BENCH_PRODUCTS ?? 100_000);
const HOLDS = 5_000;
const WORDS = ['milk', 'bread', 'rice', 'tea', 'sugar', 'olive', 'dates', 'water', 'juice', 'soap'];

function percentiles(samples: number[]): string {
  const sorted = [...samples].sort((a, b) => a - b);
  const at = (p: number) => sorted[Math.min(sorted.length - 1, Math.floor((p / 100) * sorted.length))]!;
  return `p50 ${at(50).toFixed(2)} ms, p95 ${at(95).toFixed(2)} ms`;
}

async function timed(work: () => Promise<unknown>): Promise<number> {
  const start = performance.now();
  await work();
  return performance.now() - start;
}

it('prints the figures', async () => {
  const f = await tillFixture(entities, { pos: { allow_negative_stock: false } });
  const { db, till } = f;
  const uuid = (i: number) => `00000000-0000-7000-8000-${String(i).padStart(12, '0')}`;
  await db.transaction(async (db) => {
    for (let i = 0; i < PRODUCTS; i++)
      await db.execute(
        'INSERT INTO products (uuid, name, sku, price, stock, type, box_pieces, box_barcode, is_active, local_updated_at) ' +
          "VALUES (?, ?, ?, ?, 1000000, 'product', ?, ?, 1, 'x')",
        [uuid(i), `${WORDS[i % WORDS.length]} ${i}`, String(6_190_000_000_000 + i), 1 + (i % 50), i % 7 ? 0 : 12, i % 7 ? null : `9${i}`],
      );
    for (let i = 0; i < HOLDS; i++)
      await db.execute('INSERT INTO stock_holds (sale_uuid, product_uuid, quantity) VALUES (?, ?, 1)', [`hold-${i}`, uuid(i * 17)]);
  });
  console.log(`catalogue: ${PRODUCTS} products, ${HOLDS} holds`);

  const scans: number[] = [];
  for (let i = 0; i < 300; i++) {
    const code = String(6_190_000_000_000 + ((i * 7919) % PRODUCTS));
    scans.push(
      await timed(async () => {
        const match = await findByCode(db, code);
        if (match) till.addProduct(match.product, match.quantity, false, match.unit);
      }),
    );
  }
  console.log(`scan to line: ${percentiles(scans)}`);
  till.clearCart();

  for (const text of ['m', 'mil', 'milk 1']) {
    const runs: number[] = [];
    for (let i = 0; i < 30; i++) runs.push(await timed(() => searchProducts(db, text)));
    console.log(`search "${text}" (${text.length} characters): ${percentiles(runs)}`);
  }
  const exact: number[] = [];
  for (let i = 0; i < 300; i++) exact.push(await timed(() => findByCode(db, String(6_190_000_000_000 + i * 311))));
  console.log(`exact SKU lookup: ${percentiles(exact)}`);

  for (let i = 0; i < 1000; i++) await f.sync.save('note', { title: `queued ${i}`, body: '' });
  const charges: number[] = [];
  for (let round = 0; round < 10; round++) {
    for (let i = 0; i < 20; i++) till.addProduct((await findByCode(db, String(6_190_000_000_000 + round * 100 + i)))!.product);
    charges.push(await timed(() => till.chargeSale()));
  }
  console.log(`charge with 20 lines and 1,000 queued operations: ${percentiles(charges)}`);

  f.online.value = false;
  const item = (await findByCode(db, '6190000000001'))!.product;
  const references = new Set<string>();
  const sales: number[] = [];
  for (let i = 0; i < 1000; i++) {
    till.addProduct(item);
    sales.push(await timed(async () => references.add((await till.chargeSale()).reference)));
  }
  const mean = (xs: number[]) => xs.reduce((a, b) => a + b, 0) / xs.length;
  const first = mean(sales.slice(0, 100));
  const last = mean(sales.slice(-100));
  console.log(
    `1,000 offline sales: ${references.size} distinct references, first 100 ${first.toFixed(2)} ms each, ` +
      `last 100 ${last.toFixed(2)} ms each (${(((last - first) / first) * 100).toFixed(0)} % change)`,
  );
});
