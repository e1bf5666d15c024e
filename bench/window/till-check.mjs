// The till in the real window, under Xvfb, driven only by the keyboard as a
// cashier with a scanner would: sign in as the demo cashier, open the
// register, scan a weighed code, an exact SKU and a box barcode typed at
// scanner speed by xdotool, charge with F12; then sell with the server
// stopped and see the sale numbered once it is back. The reference server is
// the witness (what reached it, and its numbers). Screenshots in Arabic and
// English go to /tmp/win-till-*.png for a person to look at.
//   node bench/window/till-check.mjs [BUILD]
// Needs Xvfb, xdotool and ImageMagick's import. The clicks (sign-in server
// field, language button) fit the window's default size.
import { execFile, spawn } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, openSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { promisify } from 'node:util';

const build = resolve(process.argv[2] ?? 'build');
const serverBinary = process.env.TOVIK_SERVER ?? join(build, 'server/tovik-server');
const hostBinary = process.env.TOVIK_HOST ?? join(build, 'host/tovik');
const exec = promisify(execFile);
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const OUT = '/tmp/win-till';
const AT = { server: [600, 295], language: [86, 29], openRegister: [600, 415] };

function freeDisplay() {
  for (let n = 321; n < 360; n++)
    if (!existsSync(`/tmp/.X11-unix/X${n}`) && !existsSync(`/tmp/.X${n}-lock`)) return `:${n}`;
  throw new Error('no free X display');
}

/** Weighed code: "2", a digit, the PLU, the grams, the check digit. */
function weighed(plu, grams) {
  const body = `20${plu}${grams}`;
  const sum = [...body].reduce((s, d, i) => s + Number(d) * (i % 2 === 0 ? 1 : 3), 0);
  return body + String((10 - (sum % 10)) % 10);
}

const work = mkdtempSync(join(tmpdir(), 'tovik-window-till-'));
const dir = (name) => {
  const path = join(work, name);
  mkdirSync(path, { recursive: true, mode: 0o700 });
  return path;
};
const display = freeDisplay();
const xvfb = spawn('Xvfb', [display, '-screen', '0', '1280x900x24', '-nolisten', 'tcp'], { stdio: 'ignore' });
const env = { ...process.env, DISPLAY: display };
const xdo = (...args) => exec('xdotool', args.map(String), { env });
const shot = async (name) => {
  const file = `${OUT}-${name}.png`;
  await exec('import', ['-window', 'root', file], { env });
  console.log(`  screenshot ${file}`);
};
/** A scanner: the code at 5 ms a key, then Enter. */
const scan = async (code) => {
  await xdo('type', '--delay', '5', code);
  await xdo('key', 'Return');
  await sleep(500);
};

// The server on a port of its own and a store that outlives a restart.
const serverDb = `sqlite:${join(dir('server'), 'server.db')}`;
let server = null;
let serverUrl = '';
async function startServer() {
  const listen = serverUrl ? serverUrl.replace('http://', '') : '127.0.0.1:0';
  const child = spawn(serverBinary, ['--listen', listen, '--db', serverDb, '--seed', 'demo', '--fast-password-hash'], {
    stdio: ['ignore', 'pipe', 'ignore'],
  });
  serverUrl = await new Promise((done, fail) => {
    child.once('exit', (code) => fail(new Error(`the server exited with ${code}`)));
    child.stdout.on('data', (chunk) => {
      const match = /listening (http:\/\/127\.0\.0\.1:\d+)/.exec(String(chunk));
      if (match) done(match[1]);
    });
  });
  server = child;
}
async function stopServer() {
  const child = server;
  server = null;
  child.kill('SIGTERM');
  await new Promise((done) => child.once('exit', done));
}

let ownerToken = '';
async function api(path) {
  if (!ownerToken) {
    const reply = await fetch(`${serverUrl}/mobile/v2/login`, {
      method: 'POST',
      headers: { 'Content-Type': 'application/json', Accept: 'application/json' },
      body: JSON.stringify({ email: 'owner@demo.test', password: 'demo-owner-1', device_name: 'till check' }),
    });
    ownerToken = String((await reply.json()).token);
  }
  const reply = await fetch(`${serverUrl}/mobile/v2${path}`, { headers: { Authorization: `Bearer ${ownerToken}` } });
  if (!reply.ok) throw new Error(`${path}: HTTP ${reply.status}`);
  return reply.json();
}

/** The records of one kind the server holds, oldest change first. */
async function serverRecords(entity) {
  const records = [];
  let cursor = '';
  for (;;) {
    const page = await api(`/sync/pull?limit=500&entities=${entity}${cursor ? `&cursor=${cursor}` : ''}`);
    records.push(...(page.changes[entity] ?? []));
    cursor = page.cursor;
    if (!page.has_more) return records;
  }
}
const serverSales = async () => (await serverRecords('invoice')).filter((s) => s.pos_method);

/** Waits until the dot at `at` turns the client's green (its primary buttons). */
async function waitForGreen(at, what, ms = 60_000) {
  for (const deadline = Date.now() + ms; Date.now() < deadline; await sleep(250)) {
    const { stdout } = await exec('import', ['-window', 'root', '-crop', `1x1+${at[0]}+${at[1]}`, '-depth', '8', 'rgb:-'], {
      env,
      encoding: 'buffer',
    });
    const [r = 255, g = 0, b = 255] = stdout;
    if (g > 120 && r < 60 && b < 140) return;
  }
  await shot('stuck');
  throw new Error(`${what} did not appear`);
}

async function waitForSales(count, what, ms = 60_000) {
  for (const deadline = Date.now() + ms; Date.now() < deadline; await sleep(500)) {
    const sales = await serverSales().catch(() => []);
    if (sales.length >= count) return sales;
  }
  await shot('stuck');
  throw new Error(`${what}: the server has no sale ${count}`);
}

let host;
let failed = false;
const check = (ok, text) => {
  if (!ok) failed = true;
  console.log(`${ok ? 'ok' : 'FAULT'}: ${text}`);
};
try {
  for (let i = 0; i < 50 && !existsSync(`/tmp/.X11-unix/X${display.slice(1)}`); i++) await sleep(100);
  await startServer();
  const hostEnv = {
    ...env,
    HOME: dir('home'),
    XDG_DATA_HOME: dir('xdg-data'),
    XDG_CONFIG_HOME: dir('xdg-config'),
    XDG_CACHE_HOME: dir('xdg-cache'),
    XDG_RUNTIME_DIR: dir('xdg-runtime'),
  };
  const log = openSync(join(work, 'host.log'), 'a');
  const folders = ['--data-dir', dir('data'), '--documents-dir', dir('documents'), '--downloads-dir', dir('downloads')];
  host = spawn(hostBinary, [...folders, '--secret-store', 'file'], { env: hostEnv, detached: true, stdio: ['ignore', log, log] });
  await sleep(6000);

  console.log('sign in as the demo cashier');
  await xdo('mousemove', ...AT.server, 'click', '1');
  await sleep(200);
  await xdo('key', 'ctrl+a', 'BackSpace');
  await xdo('type', '--delay', '40', serverUrl);
  await xdo('key', 'Tab');
  await xdo('type', '--delay', '40', 'cashier@demo.test');
  await xdo('key', 'Tab');
  await xdo('type', '--delay', '40', 'demo-cashier-1');
  await xdo('key', 'Return');
  // The till opens on the opening cash, with the catalogue being pulled.
  await waitForGreen(AT.openRegister, 'the open-register screen');
  await shot('1-open-register');
  await xdo('type', '--delay', '40', '100');
  await xdo('key', 'Return');
  let shifts = [];
  for (const deadline = Date.now() + 30_000; !shifts.length && Date.now() < deadline; await sleep(500))
    shifts = await serverRecords('pos_shift');
  check(shifts[0]?.opening_cash === 100, `the register opened with ${shifts[0]?.opening_cash} typed into the opening cash`);

  console.log('sell by scanner: 1.25 kg of PLU 00101, SKU 6191000000011, a box 96191000000011');
  const started = Date.now();
  await scan(weighed('00101', '01250'));
  await scan('6191000000011');
  await scan('96191000000011');
  await sleep(1500); // the window takes queued keys at its own pace
  await shot('2-cart');
  await xdo('key', 'F12');
  await sleep(1500);
  await shot('3-sale-complete');
  await xdo('key', 'Return');
  const [first] = await waitForSales(1, 'the online sale');
  const lines = typeof first.items === 'string' ? JSON.parse(first.items) : (first.items ?? []);
  check(/^SAL/.test(first.invoice_number ?? ''), `the sale reached the server as ${first.invoice_number}, ${(Date.now() - started) / 1000} s after the first key`);
  check(lines.length === 3, `with its 3 lines (${lines.map((l) => `${l.quantity} x ${l.name}`).join('; ')}), total ${first.total}`);

  console.log('sell with the server stopped');
  await stopServer();
  await scan('6191000000011');
  await xdo('key', 'F12');
  await sleep(1500);
  await shot('4-offline-sale');
  await xdo('key', 'Return');
  await startServer();
  const sales = await waitForSales(2, 'the offline sale', 90_000);
  const second = sales[1];
  check(
    /^POS-/.test(second.offline_reference ?? '') && /^SAL/.test(second.invoice_number ?? ''),
    `the offline sale ${second.offline_reference} was numbered ${second.invoice_number} once the server was back`,
  );

  console.log('the till in English');
  await xdo('mousemove', ...AT.language, 'click', '1');
  await sleep(1500);
  await scan('6191000000011');
  await shot('5-english');
} catch (error) {
  failed = true;
  console.log(`FAULT: ${error instanceof Error ? error.message : error}`);
} finally {
  if (host) process.kill(-host.pid, 'SIGTERM');
  if (server) await stopServer();
  xvfb.kill();
  await sleep(500);
  rmSync(work, { recursive: true, force: true });
}
process.exitCode = failed ? 1 : 0;
