import { spawn, type ChildProcess } from 'node:child_process';
import { mkdtemp, rm } from 'node:fs/promises';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import path from 'node:path';
import type { Page } from 'playwright-core';
import { afterAll, beforeAll, describe, expect, it } from 'vitest';
import { launchChromium } from './harness/chromium.mjs';
import { startServeHost, type ServeHost } from './harness/serve-host.mjs';
import { SERVER_BINARY } from './harness/server.mjs';

// The demo cashier at the till, against the real host and the reference
// server; the server is stopped and started again on the same address and
// data to sell offline.

let root: string;
let port: number;
let server: ChildProcess | null = null;
let host: ServeHost;
let browser: Awaited<ReturnType<typeof launchChromium>>;
let page: Page;

const freePort = () =>
  new Promise<number>((resolve) => {
    const probe = createServer().listen(0, '127.0.0.1', () => {
      const { port: free } = probe.address() as { port: number };
      probe.close(() => resolve(free));
    });
  });

async function startTheServer() {
  const child = spawn(
    SERVER_BINARY,
    ['--listen', `127.0.0.1:${port}`, '--db', `sqlite:${path.join(root, 'server.db')}`, '--seed', 'demo', '--fast-password-hash'],
    { stdio: ['ignore', 'pipe', 'ignore'] },
  );
  await new Promise<void>((resolve, reject) => {
    child.once('exit', (code) => reject(new Error(`the server exited with ${code}`)));
    child.stdout!.on('data', (chunk: Buffer) => {
      if (chunk.toString().includes('listening')) resolve();
    });
  });
  server = child;
}

async function stopTheServer() {
  const child = server;
  server = null;
  if (!child || child.exitCode !== null) return;
  child.kill('SIGTERM');
  await new Promise((resolve) => child.once('exit', resolve));
}

const select = (sql: string, params: unknown[] = []) =>
  page.evaluate(
    async ({ sql, params }) => (await window.__tovikStorage!.openLocalDb()).select(sql, params as never[]),
    { sql, params },
  );

/** A scanner: the code typed a few milliseconds per key, then Enter. */
async function scan(code: string) {
  await page.keyboard.type(code, { delay: 5 });
  await page.keyboard.press('Enter');
}

const lines = () => page.locator('[data-part="line"]');

/** Weighed code: "2", a digit, the PLU, the grams, the check digit. */
function weighed(plu: string, grams: string): string {
  const body = `20${plu}${grams}`;
  const sum = [...body].reduce((s, d, i) => s + Number(d) * (i % 2 === 0 ? 1 : 3), 0);
  return body + String((10 - (sum % 10)) % 10);
}

async function charge() {
  await page.keyboard.press('F12');
  await page.locator('[data-part="sale-complete"]').waitFor();
  const reference = (await page.locator('[data-part="reference"]').textContent())!.trim();
  // The dialog shows the receipt that would print, headed by this sale.
  await expect
    .poll(() => page.locator('[data-part="sale-complete"] [data-testid="thermal-sheet"] canvas').getAttribute('aria-label'))
    .toContain(reference);
  await page.keyboard.press('Enter');
  await page.locator('[data-part="sale-complete"]').waitFor({ state: 'detached' });
  return reference;
}

async function numberOf(reference: string, timeoutMs = 30_000): Promise<string | null> {
  const until = Date.now() + timeoutMs;
  while (Date.now() < until) {
    const [row] = await select('SELECT invoice_number FROM invoices WHERE offline_reference = ?', [reference]);
    if (row?.invoice_number) return String(row.invoice_number);
    await page.waitForTimeout(300);
  }
  return null;
}

beforeAll(async () => {
  root = await mkdtemp(path.join(tmpdir(), 'tovik-till-'));
  port = await freePort();
  await startTheServer();
  browser = await launchChromium();
  host = await startServeHost();
  page = await browser.context.newPage();
  // The page's own errors explain a failed step better than its timeout.
  page.on('pageerror', (error) => console.error('page error:', error));
  page.on('console', (message) => {
    // The offline step's refused connections are expected.
    if (message.type() !== 'error' || message.text().startsWith('Failed to load resource')) return;
    console.error('page error:', message.text());
  });
  await page.goto(host.url);
  await page.getByTestId('server').fill(`http://127.0.0.1:${port}`);
  await page.getByTestId('email').fill('cashier@demo.test');
  await page.getByTestId('password').fill('demo-cashier-1');
  await page.getByTestId('login').click();
  await page.locator('[data-screen="till"]').waitFor({ timeout: 30_000 });
}, 90_000);

afterAll(async () => {
  await page?.close();
  await host?.stop();
  await browser?.close();
  await stopTheServer();
  if (root) await rm(root, { recursive: true, force: true });
});

describe('the demo cashier', () => {
  it('opens the register with 100', async () => {
    // The first pull brings the catalogue.
    await expect.poll(async () => (await select('SELECT COUNT(*) AS n FROM products'))[0]?.n, { timeout: 30_000 }).toBeGreaterThan(50);
    await page.locator('[data-field="opening-cash"]').fill('100');
    await page.locator('[data-action="open-register"]').click();
    await page.locator('[data-field="scan"]').waitFor();
    const [shift] = await select('SELECT opening_cash FROM shifts WHERE closed_at IS NULL');
    expect(shift?.opening_cash).toBe(100);
  });

  it('sells a weighed item and an exact SKU with 10 % off and VAT, paid in cash', async () => {
    const [milk] = await select("SELECT stock FROM products WHERE sku = '6191000000011'");
    await scan(weighed('00101', '01250'));
    await scan('6191000000011');
    await expect.poll(() => lines().count()).toBe(2);
    expect(await lines().first().locator('[data-field="quantity"]').inputValue()).toBe('1.25');
    await page.locator('[data-field="discount"]').fill('10');
    await page.locator('[data-field="discount-type"]').selectOption('percentage');
    await page.locator('[data-field="vat"]').check();
    await page.locator('[data-field="vat-rate"]').fill('15');
    await page.locator('[data-field="tendered"]').fill('50');
    // 4.375 + 4.5 = 8.88; less 0.89 = 7.99; VAT 1.20: 9.19, change 40.81.
    expect(await page.locator('[data-part="total"]').textContent()).toContain('9.19');
    expect(await page.locator('[data-part="change"]').textContent()).toContain('40.81');
    const reference = await charge();
    expect(reference).toMatch(/^POS-[0-9A-F]{4}-\d{5}$/);
    expect(await numberOf(reference)).toMatch(/^SAL/);
    await expect
      .poll(async () => (await select("SELECT stock FROM products WHERE sku = '6191000000011'"))[0]?.stock, { timeout: 30_000 })
      .toBe(Number(milk?.stock) - 1);
  });

  it('sells a box offline and syncs it when the server is back', async () => {
    await stopTheServer();
    await scan('96191000000011');
    await expect.poll(() => lines().count()).toBe(1);
    expect(await lines().first().textContent()).toContain('12');
    const reference = await charge();
    const [queued] = await select(
      'SELECT i.invoice_number FROM invoices i JOIN outbox o ON o.uuid = i.uuid WHERE i.offline_reference = ?',
      [reference],
    );
    expect(queued).toEqual({ invoice_number: null });
    await startTheServer();
    await page.evaluate(() => window.dispatchEvent(new Event('online')));
    expect(await numberOf(reference, 60_000)).toMatch(/^SAL/);
  });

  it('holds a cart and restores it', async () => {
    // A scan lands in the scan field wherever the focus was.
    await page.evaluate(() => (document.activeElement as HTMLElement | null)?.blur());
    await scan('6191000001018');
    await expect.poll(() => lines().count()).toBe(1);
    await page.keyboard.press('F8');
    await expect.poll(() => lines().count()).toBe(0);
    await page.keyboard.press('F7');
    await page.locator('[data-action="restore"]').first().click();
    await expect.poll(() => lines().count()).toBe(1);
  });

  it('takes the store card typed at the till and pays from the wallet', async () => {
    await page.locator('[data-field="scan"]').focus();
    await page.keyboard.type('041277889911', { delay: 60 });
    await page.keyboard.press('Enter');
    await page.locator('[data-part="client"]').waitFor();
    expect(await page.locator('[data-method="wallet"]').getAttribute('aria-checked')).toBe('true');
    const reference = await charge();
    const [sale] = await select('SELECT pos_method, wallet_card_uuid FROM invoices WHERE offline_reference = ?', [reference]);
    expect(sale?.pos_method).toBe('wallet');
    expect(sale?.wallet_card_uuid).toBeTruthy();
    // The server takes it from the card holder's wallet; nothing the till sent was refused.
    expect(await numberOf(reference)).toMatch(/^SAL/);
    expect(await select('SELECT entity, reason FROM dead_letter')).toEqual([]);
  });

  it('approves an out-of-stock item with the manager PIN', async () => {
    // Butter croissants: 3 on the shelf.
    for (let i = 0; i < 4; i++) await scan('2000000000039');
    await page.locator('[data-part="out-of-stock"]').waitFor();
    await page.locator('[data-field="pin"]').fill('111111');
    await page.locator('[data-action="approve"]').click();
    await page.locator('[data-part="out-of-stock"] .alert').waitFor();
    await page.locator('[data-field="pin"]').fill('246810');
    await page.locator('[data-action="approve"]').click();
    await page.locator('[data-part="out-of-stock"]').waitFor({ state: 'detached', timeout: 20_000 });
    expect(await lines().first().locator('[data-field="quantity"]').inputValue()).toBe('4');
    await page.screenshot({ path: path.join(process.env.TOVIK_SCREENSHOTS ?? root, 'till-ar.png') });
    await page.getByTestId('language').click();
    await page.screenshot({ path: path.join(process.env.TOVIK_SCREENSHOTS ?? root, 'till-en.png') });
  });
});
