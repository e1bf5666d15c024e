// The client's figures in the real window against the reference server on
// loopback: the facade (round trips, transactions, a 3 MB result), a first
// pull and a push through the window, the till's lookups at PRODUCTS products, and the memory of the window's
// processes after sign-in and the first sync, with the demo company and
// with PRODUCTS products. Prints figures only.
//   node bench/window/client-figures.mjs [BUILD]
import { spawn } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const build = resolve(process.argv[2] ?? 'build');
process.env.TOVIK_SERVER ??= join(build, 'server/tovik-server');
const { startServer } = await import('../../e2e/harness/server.mjs');
const { seedClients, signIn } = await import('../sync/seed.mjs');

const RECORDS = Number(process.env.TOVIK_BENCH_RECORDS ?? 50_000);
const OPS = Number(process.env.TOVIK_BENCH_OPS ?? 10_000);
const PRODUCTS = Number(process.env.TOVIK_BENCH_PRODUCTS ?? 100_000);
const bench = join(build, 'bench/window/bench_window_client');
const here = fileURLToPath(new URL('.', import.meta.url));

function freeDisplay() {
  for (let n = 261; n < 300; n++)
    if (!existsSync(`/tmp/.X11-unix/X${n}`) && !existsSync(`/tmp/.X${n}-lock`)) return `:${n}`;
  throw new Error('no free X display');
}

/** Runs a command, passing its output through; resolves with its exit code. */
function run(command, args, env) {
  return new Promise((done) => {
    const child = spawn(command, args, { env, stdio: ['ignore', 'inherit', 'ignore'] });
    const limit = setTimeout(() => child.kill('SIGKILL'), 20 * 60_000);
    child.on('exit', (code) => {
      clearTimeout(limit);
      done(code);
    });
  });
}

/** Pushes `count` new products as another device, 1,000 to a request. */
async function seedProducts(serverUrl, token, count) {
  const stamp = new Date().toISOString();
  for (let start = 0; start < count; start += 1000) {
    const operations = Array.from({ length: Math.min(1000, count - start) }, (_, i) => ({
      op_id: crypto.randomUUID(), entity: 'product', action: 'upsert', uuid: crypto.randomUUID(), base_version: null,
      client_updated_at: stamp, data: { name: `Product ${start + i}`, sku: `SKU-${start + i}`, price: (start + i) % 500 },
    }));
    const reply = await fetch(`${serverUrl}/mobile/v2/sync/push`, {
      method: 'POST',
      headers: { 'Content-Type': 'application/json', Authorization: `Bearer ${token}` },
      body: JSON.stringify({ device_id: 'seeder', device_time: stamp, operations }),
    });
    if (!reply.ok) throw new Error(`seeding products: HTTP ${reply.status}`);
  }
}

const work = mkdtempSync(join(tmpdir(), 'tovik-window-client-'));
const display = freeDisplay();
const xvfb = spawn('Xvfb', [display, '-screen', '0', '1280x900x24', '-nolisten', 'tcp'], { stdio: 'ignore' });
try {
  for (let i = 0; i < 50 && !existsSync(`/tmp/.X11-unix/X${display.slice(1)}`); i++)
    await new Promise((r) => setTimeout(r, 100));
  mkdirSync(join(work, 'run'), { mode: 0o700 });
  const env = { ...process.env, DISPLAY: display, XDG_RUNTIME_DIR: join(work, 'run'), HOME: work };

  const page = join(work, 'page');
  const vite = await run('npx', ['vite', 'build', '--config', join(here, 'client-page/vite.config.ts'), '--outDir', page], env);
  if (vite !== 0) throw new Error('the benchmark page did not build');

  const facadeServer = await startServer();
  try {
    const token = await signIn(facadeServer.url);
    await seedClients(facadeServer.url, token, RECORDS);
    await run(bench, ['facade', facadeServer.url, token, String(RECORDS), String(OPS), String(PRODUCTS)], { ...env, TOVIK_BENCH_PAGE_DIR: page });
  } finally {
    await facadeServer.stop();
  }

  const sessionServer = await startServer();
  try {
    const token = await signIn(sessionServer.url);
    const client = { ...env, TOVIK_BENCH_PAGE_DIR: resolve('client/dist') };
    console.log('window session, the demo company:');
    await run(bench, ['session', sessionServer.url, token], client);
    await seedProducts(sessionServer.url, token, PRODUCTS);
    console.log(`window session, the demo company with ${PRODUCTS} more products:`);
    await run(bench, ['session', sessionServer.url, token], client);
  } finally {
    await sessionServer.stop();
  }
} finally {
  xvfb.kill();
  rmSync(work, { recursive: true, force: true });
}
