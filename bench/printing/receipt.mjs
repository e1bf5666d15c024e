// Receipt figures: a 40-line Arabic 80 mm sale receipt drawn, thresholded and
// encoded in Chromium (the client's own code, built with Vite), then handed
// to a private CUPS raw queue and to a TCP printer on loopback through the
// host in serve mode. Prints figures only.
import http from 'node:http';
import { mkdtemp, readFile, rm, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import vue from '@vitejs/plugin-vue';
import { build } from 'vite';
import { launchChromium } from '../../e2e/harness/chromium.mjs';
import { startPrivateCups } from '../../e2e/harness/cupsd.mjs';
import { ipc } from '../../e2e/harness/http.mjs';
import { startCapturePrinter } from '../../e2e/harness/printer-listener.mjs';
import { startServeHost } from '../../e2e/harness/serve-host.mjs';

const RUNS = 20;
const HANDOFFS = 10;

/** @param {number[]} values */
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)] ?? NaN;
/** @param {number[]} values */
const ms = (values) => `median ${median(values).toFixed(1)} ms, max ${Math.max(...values).toFixed(1)} ms`;

const pageRoot = fileURLToPath(new URL('./page', import.meta.url));
const outDir = await mkdtemp(path.join(tmpdir(), 'tovik-receipt-bench-'));
await build({
  configFile: false,
  root: pageRoot,
  base: './',
  logLevel: 'warn',
  plugins: [vue()],
  build: { outDir, emptyOutDir: true, assetsInlineLimit: 0 },
});

const server = http.createServer(async (req, res) => {
  const file = path.join(outDir, path.normalize(new URL(req.url ?? '/', 'http://x').pathname).replace(/^\/+$/, 'index.html'));
  try {
    const body = await readFile(file.startsWith(outDir) ? file : path.join(outDir, 'index.html'));
    res.writeHead(200, { 'Content-Type': file.endsWith('.js') ? 'text/javascript' : 'text/html' }).end(body);
  } catch {
    res.writeHead(404).end();
  }
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(undefined)));
const address = /** @type {import('node:net').AddressInfo} */ (server.address());

const browser = await launchChromium({ loopbackOnly: false });
let figures;
try {
  const page = await browser.context.newPage();
  await page.goto(`http://127.0.0.1:${address.port}/index.html`);
  await page.waitForFunction(() => typeof window.receiptBench === 'function');
  figures = await page.evaluate((runs) => window.receiptBench(runs), RUNS);
} finally {
  await browser.close();
  server.close();
  await rm(outDir, { recursive: true, force: true });
}
const pngPath = path.join(tmpdir(), 'tovik-receipt-bench.png');
await writeFile(pngPath, Buffer.from(figures.png.split(',')[1] ?? '', 'base64'));
console.log(`receipt image: ${pngPath}`);
console.log(`receipt: ${figures.rows} rows, image 576 x ${figures.height} dots, ${Buffer.from(figures.bytes, 'base64').length} printer bytes`);
console.log(`Chromium render + threshold: ${ms(figures.render)}`);
console.log(`Chromium render + threshold + encode: ${ms(figures.encode)}`);

const spooled = await startCapturePrinter();
const network = await startCapturePrinter();
const cups = await startPrivateCups();
await cups.addRawQueue('Bench_Q', `socket://127.0.0.1:${spooled.port}`);
process.env.CUPS_SERVER = cups.server;
const host = await startServeHost();
try {
  /** @param {string} cmd @param {object} args */
  const timed = async (cmd, args) => {
    const times = [];
    for (let i = 0; i < HANDOFFS; i++) {
      const t = performance.now();
      const reply = await ipc(host.origin, host.token, cmd, { ...args, data: figures.bytes });
      times.push(performance.now() - t);
      if (reply.status !== 200) throw new Error(`${cmd}: ${reply.body}`);
    }
    return times;
  };
  console.log(`handed to CUPS (printer_print_raw returns): ${ms(await timed('printer_print_raw', { printer: 'Bench_Q' }))}`);
  const t = performance.now();
  await spooled.nextJob(HANDOFFS, 120_000);
  console.log(`all ${HANDOFFS} CUPS jobs at the printer after the last hand-off: ${(performance.now() - t).toFixed(0)} ms`);
  console.log(`sent over TCP (printer_print_tcp returns): ${ms(await timed('printer_print_tcp', { host: '127.0.0.1', port: network.port }))}`);
} finally {
  await host.stop();
  await cups.stop();
  await spooled.close();
  await network.close();
}
