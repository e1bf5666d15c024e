// The client's facade and sync engine in the real window, through the real
// bridge module: round trips, three-statement transactions, a large result, a
// first pull of the server's records, a push of queued operations and the
// till's lookups at catalogue size (without drawing the screen). The figures go to the benchmark's bench_report command as printed lines.
import { entities } from '../../../client/app/features';
import { findByCode, searchProducts } from '../../../client/sales/till/lookup';
import { openLocalDb, type LocalDb } from '../../../client/storage';
import { SyncEngine } from '../../../client/sync';
import { syncClock } from '../../sync/sync-clock.mjs';
import { benchReport } from '../bench-report';

interface Config {
  serverUrl: string;
  token: string;
  records: number;
  ops: number;
  products: number;
}

declare global {
  interface Window {
    __benchConfig: Config;
  }
}

const config = window.__benchConfig;
const lines: string[] = [];
const say = (line: string) => lines.push(`window facade: ${line}`);
const median = (values: number[]) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)] ?? NaN;
const percentile = (values: number[], p: number) =>
  [...values].sort((a, b) => a - b)[Math.min(values.length - 1, Math.floor((p / 100) * values.length))] ?? NaN;

async function roundTrips(db: LocalDb): Promise<void> {
  // The page's clock is coarse: calls are timed in batches of 100.
  for (let i = 0; i < 300; i++) await db.select('SELECT 1');
  const perCall: number[] = [];
  const started = performance.now();
  for (let b = 0; b < 50; b++) {
    const t = performance.now();
    for (let i = 0; i < 100; i++) await db.select('SELECT 1');
    perCall.push(((performance.now() - t) / 100) * 1000);
  }
  const total = performance.now() - started;
  say(`5000 x select "SELECT 1" through the facade: median ${median(perCall).toFixed(0)} us per call ` +
      `(batches of 100), ${(5000 / (total / 1000)).toFixed(0)} calls/s`);
}

async function transactions(db: LocalDb): Promise<void> {
  await db.execute('CREATE TABLE IF NOT EXISTS bench_tx (id INTEGER PRIMARY KEY, label TEXT, amount REAL)');
  const one = (i: number) =>
    db.transaction(async (db) => {
      await db.execute('INSERT INTO bench_tx (label, amount) VALUES (?, ?)', [`row ${i}`, i]);
      await db.execute('UPDATE bench_tx SET amount = amount + 1 WHERE id = ?', [i]);
      return db.select('SELECT COUNT(*) AS n FROM bench_tx');
    });
  for (let i = 0; i < 50; i++) await one(i);
  const count = 2000;
  const t = performance.now();
  for (let i = 0; i < count; i++) await one(50 + i);
  const ms = performance.now() - t;
  say(`${count} transactions of 3 statements in a row: ${(count / (ms / 1000)).toFixed(0)} transactions/s, ` +
      `${((ms * 1000) / count).toFixed(0)} us each`);
  // The same writes as one statement list: one call, its own transaction.
  const list = (i: number) =>
    db.batch([
      { sql: 'INSERT INTO bench_tx (label, amount) VALUES (?, ?)', params: [`row ${i}`, i] },
      { sql: 'UPDATE bench_tx SET amount = amount + 1 WHERE id = ?', params: [i] },
      { sql: 'UPDATE bench_tx SET label = ? WHERE id = ?', params: [`list ${i}`, i] },
    ]);
  const l = performance.now();
  for (let i = 0; i < count; i++) await list(5000 + i);
  const listMs = performance.now() - l;
  say(`${count} lists of 3 statements (db.batch, one call each): ${(count / (listMs / 1000)).toFixed(0)} transactions/s, ` +
      `${((listMs * 1000) / count).toFixed(0)} us each`);
}

async function largeResult(db: LocalDb): Promise<void> {
  await db.execute(
    'CREATE TABLE IF NOT EXISTS bench_big (id INTEGER PRIMARY KEY, name TEXT, price REAL, qty INTEGER, note TEXT, code TEXT)',
  );
  await db.execute(
    "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 30000) " +
      "INSERT OR REPLACE INTO bench_big SELECT x, 'product ' || x, x * 1.25, x % 97, 'a note of some length for row ' || x, " +
      "printf('%08d', x) FROM n",
  );
  const runs: number[] = [];
  let bytes = 0;
  for (let i = 0; i < 9; i++) {
    const t = performance.now();
    const rows = await db.select('SELECT * FROM bench_big');
    runs.push(performance.now() - t);
    if (i === 0) bytes = JSON.stringify(rows).length;
  }
  say(`one select of 30000 rows (${(bytes / 1e6).toFixed(2)} MB JSON) through the facade: ` +
      `median of 9 ${median(runs).toFixed(1)} ms, best ${Math.min(...runs).toFixed(1)} ms`);
}

async function pullAndPush(localDb: LocalDb): Promise<void> {
  const clock = syncClock(localDb, (path, init) =>
    fetch(`${config.serverUrl}/mobile/v2${path}`, {
      ...init,
      headers: {
        ...(init.headers as Record<string, string>),
        Accept: 'application/json',
        'Content-Type': 'application/json',
        Authorization: `Bearer ${config.token}`,
      },
    }),
  );
  const db = clock.db;
  const engine = new SyncEngine({
    db: async () => db,
    entities,
    deviceId: async () => 'bench-window-device',
    account: () => ({ companyId: '1', userId: 'bench' }),
    token: async () => config.token,
    dataEpoch: async () => null,
    onAuthLost: () => {},
    onStatus: () => {},
    onChanged: () => {},
    onPushed: () => {},
    online: () => true,
    send: clock.send,
  });
  engine.resume();
  const figures = (what: string, count: number, ms: number) =>
    clock.figures(what, count, ms) + (engine.lastError ? `, error: ${engine.lastError}` : '');

  const t0 = performance.now();
  await engine.sync(true);
  const pullMs = performance.now() - t0;
  const [pulled] = await db.select<{ n: number }>('SELECT COUNT(*) AS n FROM clients');
  say(figures(`first pull of ${config.records} records`, pulled?.n ?? 0, pullMs));

  for (let i = 0; i < config.ops; i++)
    await db.execute(
      "INSERT INTO outbox (op_id, entity, action, uuid, client_updated_at, data_json) VALUES (?, 'note', 'upsert', ?, ?, ?)",
      [crypto.randomUUID(), crypto.randomUUID(), new Date().toISOString(), JSON.stringify({ title: `n${i}`, body: 'bench' })],
    );
  clock.reset();
  const t1 = performance.now();
  await engine.sync(true);
  const pushMs = performance.now() - t1;
  const [left] = await db.select<{ n: number }>('SELECT COUNT(*) AS n FROM outbox');
  say(figures(`push of ${config.ops} queued operations`, config.ops - (left?.n ?? 0), pushMs));
}

async function tillLookups(db: LocalDb): Promise<void> {
  const words = ['milk', 'bread', 'rice', 'tea', 'sugar', 'olive', 'dates', 'water', 'juice', 'soap'];
  const sku = (i: number) => String(6_190_000_000_000 + i);
  const uuid = (i: number) => `00000000-0000-7000-8000-${String(i).padStart(12, '0')}`;
  await db.transaction(async (db) => {
    for (let start = 0; start < config.products; start += 200) {
      const ids = Array.from({ length: Math.min(200, config.products - start) }, (_, k) => start + k);
      await db.execute(
        'INSERT INTO products (uuid, name, sku, price, stock, type, is_active, local_updated_at) VALUES ' +
          ids.map(() => "(?, ?, ?, ?, 1000000, 'product', 1, 'x')").join(', '),
        ids.flatMap((i) => [uuid(i), `${words[i % words.length]} ${i}`, sku(i), 1 + (i % 50)]),
      );
    }
    for (let i = 0; i < 5000; i += 250)
      await db.execute(
        'INSERT INTO stock_holds (sale_uuid, product_uuid, quantity) VALUES ' +
          Array.from({ length: 250 }, () => '(?, ?, 1)').join(', '),
        Array.from({ length: 250 }, (_, k) => [`hold-${i + k}`, uuid(((i + k) * 17) % config.products)]).flat(),
      );
  });
  const timed = async (work: () => Promise<unknown>) => {
    const t = performance.now();
    await work();
    return performance.now() - t;
  };
  const figures = (runs: number[]) =>
    `p50 ${percentile(runs, 50).toFixed(2)} ms, p95 ${percentile(runs, 95).toFixed(2)} ms`;
  const scans: number[] = [];
  for (let i = 0; i < 300; i++) scans.push(await timed(() => findByCode(db, sku((i * 7919) % config.products))));
  say(`till, ${config.products} products and 5000 holds: scanned code to its product ${figures(scans)}`);
  for (const text of ['m', 'mil', 'milk 1']) {
    const runs: number[] = [];
    for (let i = 0; i < 30; i++) runs.push(await timed(() => searchProducts(db, text)));
    say(`till search "${text}" (${text.length} characters): ${figures(runs)}`);
  }
}

(async () => {
  try {
    const db = await openLocalDb();
    await roundTrips(db);
    await transactions(db);
    await largeResult(db);
    await pullAndPush(db);
    await tillLookups(db);
    await benchReport({ lines });
  } catch (error) {
    await benchReport({ lines, error: String(error) });
  }
})();
