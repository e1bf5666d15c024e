// Serve-mode bridge figures: the round trip of a tiny command over loopback
// HTTP, and a ~3 MB db_select result reaching the page. Prints figures only.
import http from 'node:http';
import { launchChromium } from '../../e2e/harness/chromium.mjs';
import { ipc } from '../../e2e/harness/http.mjs';
import { startServeHost } from '../../e2e/harness/serve-host.mjs';

const CALLS = 10_000;
const WARMUP = 200;
const BIG_ROWS = 30_000;
const PAGE_RUNS = 7;

/** @param {number[]} sorted @param {number} q */
const quantile = (sorted, q) => sorted[Math.min(sorted.length - 1, Math.ceil(q * sorted.length) - 1)] ?? NaN;

const host = await startServeHost();
const agent = new http.Agent({ keepAlive: true, maxSockets: 1 });
try {
  /** @param {string} cmd @param {unknown} args */
  const call = async (cmd, args) => {
    const reply = await ipc(host.origin, host.token, cmd, args, agent);
    if (reply.status !== 200) throw new Error(`${cmd} failed: ${reply.status} ${reply.body}`);
    return reply.body;
  };
  await call('db_open', {});

  const one = { sql: 'SELECT 1', params: [] };
  for (let i = 0; i < WARMUP; i++) await call('db_select', one);
  const micros = [];
  const start = process.hrtime.bigint();
  for (let i = 0; i < CALLS; i++) {
    const t = process.hrtime.bigint();
    await call('db_select', one);
    micros.push(Number(process.hrtime.bigint() - t) / 1000);
  }
  const seconds = Number(process.hrtime.bigint() - start) / 1e9;
  micros.sort((a, b) => a - b);
  console.log(`db_select "SELECT 1" over loopback HTTP, ${CALLS} sequential calls, keep-alive:`);
  console.log(`  median ${quantile(micros, 0.5).toFixed(0)} us, p99 ${quantile(micros, 0.99).toFixed(0)} us, ${(CALLS / seconds).toFixed(0)} calls/s`);

  await call('db_execute', { sql: 'CREATE TABLE bench_rows (id INTEGER PRIMARY KEY, name TEXT, note TEXT)', params: [] });
  await call('db_execute', {
    sql: `WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?)
          INSERT INTO bench_rows (id, name, note) SELECT i, 'item ' || i, hex(randomblob(32)) FROM n`,
    params: [BIG_ROWS],
  });
  const big = { sql: 'SELECT * FROM bench_rows', params: [] };
  const nodeStart = process.hrtime.bigint();
  const bytes = Buffer.byteLength(await call('db_select', big));
  const nodeMs = Number(process.hrtime.bigint() - nodeStart) / 1e6;

  const browser = await launchChromium({ loopbackOnly: false });
  try {
    const page = await browser.context.newPage();
    await page.goto(host.url);
    await page.waitForFunction(() => window.__tovik !== undefined);
    const result = await page.evaluate(
      async ({ big, runs }) => {
        const tovik = /** @type {import('../../client/bridge').TestHook} */ (window.__tovik);
        const times = [];
        let rows = 0;
        for (let i = 0; i < runs; i++) {
          const t = performance.now();
          rows = (await tovik.invoke('db_select', big)).length;
          times.push(performance.now() - t);
        }
        return { times, rows };
      },
      { big, runs: PAGE_RUNS },
    );
    const sorted = [...result.times].sort((a, b) => a - b);
    console.log(`db_select of ${result.rows} rows, ${(bytes / 1e6).toFixed(2)} MB of JSON:`);
    console.log(`  to Node over HTTP (one call): ${nodeMs.toFixed(1)} ms`);
    console.log(
      `  to the page through invoke, ${PAGE_RUNS} runs: first ${result.times[0]?.toFixed(1)} ms, ` +
        `median ${quantile(sorted, 0.5).toFixed(1)} ms, best ${sorted[0]?.toFixed(1)} ms`,
    );
  } finally {
    await browser.close();
  }
} finally {
  agent.destroy();
  await host.stop();
}
