// Printing in the real window, under Xvfb: the window host signs in to the
// reference server and Settings → receipt printer is driven with xdotool
// against a private CUPS queue and fake network printers, all on loopback.
// Prints what reached the printers and how long a test print took from the
// click; screenshots and the decoded paper go to /tmp/win-printing-*.png for
// a person to look at (the toasts are only on the screenshots). Then, when
// bench_window_client is built, the 40-line Arabic receipt of the Chromium
// figures is drawn and encoded in a window and timed there, and a receipt
// long enough for several canvases is checked row by row.
//   node bench/window/printing-check.mjs [BUILD]
// Needs Xvfb, xdotool, ImageMagick's import and cupsd. The click positions
// fit the window's default size with the client in Arabic.
import { execFile, spawn } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, openSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { promisify } from 'node:util';
import vue from '@vitejs/plugin-vue';
import { build as viteBuild, runnerImport } from 'vite';

const build = resolve(process.argv[2] ?? 'build');
process.env.TOVIK_SERVER ??= join(build, 'server/tovik-server');
const hostBinary = process.env.TOVIK_HOST ?? join(build, 'host/tovik');
const { startServer } = await import('../../e2e/harness/server.mjs');
const { startPrivateCups } = await import('../../e2e/harness/cupsd.mjs');
const { startCapturePrinter, startSilentPrinter } = await import('../../e2e/harness/printer-listener.mjs');

const escposModule = async (name) =>
  (await runnerImport(fileURLToPath(new URL(`../../e2e/escpos/${name}`, import.meta.url)), { configFile: false, logLevel: 'warn' }))
    .module;
const { decodeEscPos, inkBands } = await escposModule('decode.ts');
const { imageToPng } = await escposModule('png.ts');

// The client draws tall receipts in canvases this many dots high.
const CHUNK_ROWS = 2048;
const LONG_ROWS = 400;
const DRAWER = [0x1b, 0x40, 0x1b, 0x70, 0x00, 0x19, 0xfa];
const TIMED_PRINTS = 5;
const OUT = '/tmp/win-printing';
const exec = promisify(execFile);
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// Where the settings screen's controls are, scrolled down to the receipt printer card.
const AT = {
  signIn: { server: [600, 295], button: [420, 556] },
  avatar: [24, 28],
  settingsItem: [230, 176],
  kind: { system: [900, 185], network: [775, 185] },
  printerSelect: [600, 271],
  firstPrinter: [600, 299],
  host: [882, 247],
  port: [740, 247],
  paper58: [916, 310],
  // The action row sits lower when the printer list is shown.
  actions: { system: 509, network: 496 },
  save: 924,
  test: 818,
  drawer: 696,
};

function freeDisplay() {
  for (let n = 281; n < 320; n++)
    if (!existsSync(`/tmp/.X11-unix/X${n}`) && !existsSync(`/tmp/.X${n}-lock`)) return `:${n}`;
  throw new Error('no free X display');
}

/** A loopback port nothing listens on. */
async function closedPort() {
  const server = createServer();
  await new Promise((r) => server.listen(0, '127.0.0.1', () => r(undefined)));
  const { port } = /** @type {import('node:net').AddressInfo} */ (server.address());
  await new Promise((r) => server.close(() => r(undefined)));
  return port;
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)] ?? NaN;

const work = mkdtempSync(join(tmpdir(), 'tovik-window-printing-'));
const display = freeDisplay();
const xvfb = spawn('Xvfb', [display, '-screen', '0', '1280x900x24', '-nolisten', 'tcp'], { stdio: 'ignore' });
const env = { ...process.env, DISPLAY: display };
const xdo = (...args) => exec('xdotool', args.map(String), { env });
const click = ([x, y]) => xdo('mousemove', x, y, 'click', '1');
const pixel = async ([x, y]) =>
  (await exec('import', ['-window', 'root', '-crop', `1x1+${x}+${y}`, '-depth', '8', 'rgb:-'], { env, encoding: 'buffer' }))
    .stdout;
const shot = async (name) => {
  const file = `${OUT}-${name}.png`;
  await exec('import', ['-window', 'root', file], { env });
  console.log(`  screenshot ${file}`);
};
/** Waits until the dot at `at` turns the client's green (its primary buttons and the avatar). */
async function waitForGreen(at, what, ms = 30_000) {
  for (const deadline = Date.now() + ms; Date.now() < deadline; await sleep(250)) {
    const [r = 255, g = 0, b = 255] = await pixel(at);
    if (g > 120 && r < 60 && b < 140) return;
  }
  await shot('stuck');
  throw new Error(`${what} did not appear`);
}
// The window queues keys and clicks apart, so a click right after fast typing
// can overtake the last keys; typing pauses before anything else happens.
async function fill(at, text) {
  await click(at);
  await sleep(200);
  await xdo('key', 'ctrl+a', 'BackSpace');
  await xdo('type', '--delay', '40', text);
  await sleep(400);
}

/** @param {Buffer} job @param {string} name */
function paperOf(job, name) {
  const paper = decodeEscPos(job);
  const images = paper.images.map((image, i) => {
    const file = `${OUT}-${name}-paper${i ? `-${i}` : ''}.png`;
    writeFileSync(file, imageToPng(image));
    return `${image.width} x ${image.height} dots (${file})`;
  });
  // Runs of one command read as "raster x 6".
  const runs = [];
  for (const { kind } of paper.events) {
    const last = runs.at(-1);
    if (last?.kind === kind) last.count++;
    else runs.push({ kind, count: 1 });
  }
  const events = runs.map(({ kind, count }) => (count > 1 ? `${kind} x ${count}` : kind)).join(', ');
  return `${job.length} bytes: ${events}; image ${images.join('; ') || 'none'}`;
}

const checkDrawer = (job, where) => {
  const exact = job.length === DRAWER.length && DRAWER.every((b, i) => job[i] === b);
  console.log(`${exact ? 'ok' : 'FAULT'}: Open drawer sent ${exact ? 'exactly the drawer bytes' : `[${[...job]}]`} ${where}`);
};

/** The receipt page in a window of its own; its figures, and its printer bytes decoded. */
async function receiptInWindow() {
  const bench = join(build, 'bench/window/bench_window_client');
  if (!existsSync(bench)) {
    console.log(`receipt in the window: skipped, ${bench} is not built`);
    return;
  }
  const page = join(work, 'receipt-page');
  await viteBuild({
    configFile: false,
    root: fileURLToPath(new URL('./receipt-page', import.meta.url)),
    base: './',
    logLevel: 'warn',
    plugins: [vue()],
    build: { outDir: page, emptyOutDir: true, assetsInlineLimit: 0 },
  });
  const runtime = join(work, 'bench-runtime');
  mkdirSync(runtime, { mode: 0o700 });
  const { stdout } = await exec(bench, ['page'], {
    env: { ...env, TOVIK_BENCH_PAGE_DIR: page, XDG_RUNTIME_DIR: runtime, HOME: work },
    maxBuffer: 16 << 20,
    timeout: 120_000,
  });
  for (const line of stdout.split('\n').filter(Boolean)) {
    const bytes = /^window (receipt|long receipt) bytes: (.*)$/.exec(line);
    if (!bytes) console.log(line);
    else if (bytes[1] === 'receipt') console.log(`window receipt: ${paperOf(Buffer.from(bytes[2] ?? '', 'base64'), 'receipt')}`);
    else checkLong(Buffer.from(bytes[2] ?? '', 'base64'));
  }
}

/** Every row of the long receipt inks, whichever canvas chunk drew it. */
function checkLong(job) {
  console.log(`window long receipt: ${paperOf(job, 'long')}`);
  const [image] = decodeEscPos(job).images;
  const bands = image ? inkBands(image) : [];
  const chunks = image ? Math.ceil(image.height / CHUNK_ROWS) : 0;
  const ok = bands.length === LONG_ROWS;
  console.log(`${ok ? 'ok' : 'FAULT'}: the ${LONG_ROWS}-row receipt drawn in ${chunks} canvases shows ${bands.length} inked rows`);
}

let host;
const stops = [];
try {
  for (let i = 0; i < 50 && !existsSync(`/tmp/.X11-unix/X${display.slice(1)}`); i++) await sleep(100);
  const spooled = await startCapturePrinter();
  stops.push(() => spooled.close());
  const network = await startCapturePrinter();
  stops.push(() => network.close());
  const cups = await startPrivateCups();
  stops.push(() => cups.stop());
  await cups.addRawQueue('Receipt_Q', `socket://127.0.0.1:${spooled.port}`);
  const server = await startServer();
  stops.push(() => server.stop());

  // The window host with folders of its own, away from the user's.
  const dir = (name) => {
    const path = join(work, name);
    mkdirSync(path, { mode: 0o700 });
    return path;
  };
  const hostEnv = {
    ...env,
    HOME: dir('home'),
    XDG_DATA_HOME: dir('xdg-data'),
    XDG_CONFIG_HOME: dir('xdg-config'),
    XDG_CACHE_HOME: dir('xdg-cache'),
    XDG_RUNTIME_DIR: dir('xdg-runtime'),
    CUPS_SERVER: cups.server,
  };
  const log = openSync(join(work, 'host.log'), 'a');
  const folders = ['--data-dir', dir('data'), '--documents-dir', dir('documents'), '--downloads-dir', dir('downloads')];
  host = spawn(hostBinary, [...folders, '--secret-store', 'file'], { env: hostEnv, detached: true, stdio: ['ignore', log, log] });

  console.log('sign-in');
  await waitForGreen(AT.signIn.button, 'the sign-in screen');
  await shot('1-sign-in');
  await fill(AT.signIn.server, server.url);
  await xdo('key', 'Tab');
  await xdo('type', '--delay', '40', 'owner@demo.test');
  await xdo('key', 'Tab');
  await xdo('type', '--delay', '40', 'demo-owner-1');
  await xdo('key', 'Return');
  await waitForGreen(AT.avatar, 'the shell');
  await sleep(1000);
  await shot('2-shell');

  console.log('Settings → receipt printer');
  await click(AT.avatar);
  await sleep(600);
  await click(AT.settingsItem);
  await sleep(1200);
  await xdo('mousemove', 600, 400, 'click', '--repeat', '5', '5');
  await sleep(800);
  await click(AT.kind.system);
  await sleep(800);
  await click(AT.printerSelect);
  await sleep(800);
  await shot('3-installed-printers');
  await click(AT.firstPrinter);
  await sleep(500);

  const row = AT.actions.system;
  await click([AT.test, row]);
  await sleep(700);
  await shot('4-test-print-cups');
  console.log(`test print through Receipt_Q: ${paperOf(await spooled.nextJob(1), 'cups')}`);
  await click([AT.drawer, row]);
  checkDrawer(await spooled.nextJob(2), 'through Receipt_Q');

  console.log('network printer');
  await click(AT.kind.network);
  await sleep(800);
  await fill(AT.host, '127.0.0.1');
  await fill(AT.port, String(network.port));
  const actions = (x) => [x, AT.actions.network];
  await click(actions(AT.drawer));
  checkDrawer(await network.nextJob(1), `to 127.0.0.1:${network.port}`);
  await shot('5-network');
  const times = [];
  for (let i = 0; i < TIMED_PRINTS; i++) {
    await sleep(1500);
    const t = performance.now();
    await click(actions(AT.test));
    const job = await network.nextJob(2 + i);
    times.push(performance.now() - t);
    if (i === 0) console.log(`test print over TCP: ${paperOf(job, 'tcp')}`);
  }
  console.log(
    `test print, click to the whole job at the TCP printer (render, threshold, encode, bridge, send): ` +
      `median ${median(times).toFixed(0)} ms, max ${Math.max(...times).toFixed(0)} ms over ${TIMED_PRINTS}`,
  );

  console.log('unreachable printers');
  await fill(AT.port, String(await closedPort()));
  await click(actions(AT.test));
  await sleep(800);
  await shot('6-closed-port');
  await sleep(4500);

  const off = await startSilentPrinter();
  stops.push(async () => off.close());
  await fill(AT.port, String(off.port));
  const t = performance.now();
  await click(actions(AT.test));
  // While the print waits on the connect: switch the paper and save, which goes through the database.
  await sleep(500);
  await click(AT.paper58);
  await sleep(300);
  await click(actions(AT.save));
  await sleep(700);
  console.log(`  ${((performance.now() - t) / 1000).toFixed(1)} s after the click:`);
  await shot('7-while-connecting');
  await sleep(Math.max(0, 5000 - (performance.now() - t)));
  console.log(`  ${((performance.now() - t) / 1000).toFixed(1)} s after the click:`);
  await shot('8-unanswering');
  const stray = network.jobs.length - 1 - TIMED_PRINTS;
  console.log(`${stray ? 'FAULT' : 'ok'}: ${stray} stray jobs at the network printer`);

  await receiptInWindow();
} finally {
  if (host?.pid && host.exitCode === null && host.signalCode === null) {
    const gone = new Promise((r) => host.once('exit', r));
    process.kill(-host.pid, 'SIGTERM');
    await Promise.race([gone, sleep(5000)]);
  }
  for (const stop of stops.reverse()) await stop();
  xvfb.kill();
  const hostLog = join(work, 'host.log');
  if (existsSync(hostLog)) process.stderr.write(readFileSync(hostLog, 'utf8'));
  rmSync(work, { recursive: true, force: true });
}
