// Storage figures through the client's own facade, in the page: transactions
// of three statements over the host (serve mode) and over sql.js, and the
// time to open a new database (schema and all migration steps) over the host.
// For scale, the same statements sent from Node straight to the host show
// what the page's transport adds. Prints figures only.
import http from 'node:http';
import { launchChromium } from '../../e2e/harness/chromium.mjs';
import { ipc } from '../../e2e/harness/http.mjs';
import { startServeHost } from '../../e2e/harness/serve-host.mjs';

const TRANSACTIONS = 2_000;
const WARMUP = 50;
const OPEN_RUNS = 7;

/** @param {number[]} values */
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)] ?? NaN;

const host = await startServeHost();
const browser = await launchChromium({ loopbackOnly: false });
try {
  const page = await browser.context.newPage();
  await page.goto(host.url);
  // Signed out, the client stops at the sign-in screen, its database open.
  await page.getByTestId('login').waitFor();

  const openTimes = await page.evaluate(async (runs) => {
    const storage = /** @type {import('../../client/storage/test-hook').StorageTestHook} */ (window.__tovikStorage);
    const backend = await storage.createDesktopBackend();
    const times = [];
    for (let i = 0; i < runs; i++) {
      const tables = await backend.query(
        "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'",
        [],
      );
      for (const { name } of tables) await backend.run(`DROP TABLE "${name}"`, []);
      const t = performance.now();
      await storage.openDatabase(backend);
      times.push(performance.now() - t);
    }
    return times;
  }, OPEN_RUNS);
  console.log(`open a new database over the host (8 base statements + 10 migration steps), ${OPEN_RUNS} runs:`);
  console.log(`  median ${median(openTimes).toFixed(1)} ms, best ${Math.min(...openTimes).toFixed(1)} ms`);

  for (const kind of /** @type {const} */ (['host', 'sql.js, image saved to local storage', 'sql.js in memory'])) {
    const result = await page.evaluate(
      async ({ kind, count, warmup }) => {
        const storage = /** @type {import('../../client/storage/test-hook').StorageTestHook} */ (window.__tovikStorage);
        const db =
          kind === 'host'
            ? await storage.openLocalDb()
            : await storage.openDatabase(
                await (kind === 'sql.js in memory' ? storage.createMemoryBackend() : storage.createBrowserBackend()),
              );
        await db.execute('CREATE TABLE IF NOT EXISTS bench_tx (id INTEGER PRIMARY KEY, label TEXT, amount REAL)');
        const one = (/** @type {number} */ i) =>
          db.transaction(async (db) => {
            await db.execute('INSERT INTO bench_tx (label, amount) VALUES (?, ?)', [`row ${i}`, i]);
            await db.execute('UPDATE bench_tx SET amount = amount + 1 WHERE id = ?', [i]);
            return db.select('SELECT COUNT(*) AS n FROM bench_tx');
          });
        for (let i = 0; i < warmup; i++) await one(i);
        const t = performance.now();
        for (let i = 0; i < count; i++) await one(warmup + i);
        const ms = performance.now() - t;
        const rows = await db.select('SELECT COUNT(*) AS n FROM bench_tx');
        return { ms, rows: rows[0]?.n };
      },
      { kind, count: TRANSACTIONS, warmup: WARMUP },
    );
    console.log(`${TRANSACTIONS} transactions of 3 statements in a row, ${kind}:`);
    console.log(
      `  ${(TRANSACTIONS / (result.ms / 1000)).toFixed(0)} transactions/s, ` +
        `${((result.ms * 1000) / TRANSACTIONS).toFixed(0)} us each (${result.rows} rows at the end)`,
    );
  }

  // The facade's statements for one transaction, from Node over keep-alive HTTP.
  const agent = new http.Agent({ keepAlive: true, maxSockets: 1 });
  try {
    /** @param {'db_execute' | 'db_select'} cmd @param {string} sql @param {unknown[]} [params] */
    const call = async (cmd, sql, params = []) => {
      const reply = await ipc(host.origin, host.token, cmd, { sql, params }, agent);
      if (reply.status !== 200) throw new Error(`${cmd} failed: ${reply.body}`);
    };
    const t = performance.now();
    for (let i = 0; i < TRANSACTIONS; i++) {
      await call('db_execute', 'BEGIN IMMEDIATE');
      await call('db_execute', 'INSERT INTO bench_tx (label, amount) VALUES (?, ?)', [`node ${i}`, i]);
      await call('db_execute', 'UPDATE bench_tx SET amount = amount + 1 WHERE id = ?', [i]);
      await call('db_select', 'SELECT COUNT(*) AS n FROM bench_tx');
      await call('db_execute', 'COMMIT');
    }
    const ms = performance.now() - t;
    console.log(`${TRANSACTIONS} transactions of 3 statements in a row, host, sent from Node (no page):`);
    console.log(`  ${(TRANSACTIONS / (ms / 1000)).toFixed(0)} transactions/s, ${((ms * 1000) / TRANSACTIONS).toFixed(0)} us each`);
  } finally {
    agent.destroy();
  }
} finally {
  await browser.close();
  await host.stop();
}
