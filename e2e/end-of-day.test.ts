import type { Page } from 'playwright-core';
import { afterAll, beforeAll, describe, expect, it } from 'vitest';
import { launchChromium } from './harness/chromium.mjs';
import { startServeHost, type ServeHost } from './harness/serve-host.mjs';
import { startServer, type TestServer } from './harness/server.mjs';

// The demo cashier's day at the till against the real host and the reference
// server: open with 100, sell 250 in cash, close with 370 counted.

let server: TestServer;
let host: ServeHost;
let browser: Awaited<ReturnType<typeof launchChromium>>;
let page: Page;

const select = (sql: string, params: unknown[] = []) =>
  page.evaluate(
    async ({ sql, params }) => (await window.__tovikStorage!.openLocalDb()).select(sql, params as never[]),
    { sql, params },
  );
const execute = (sql: string, params: unknown[] = []) =>
  page.evaluate(
    async ({ sql, params }) => (await window.__tovikStorage!.openLocalDb()).execute(sql, params as never[]),
    { sql, params },
  );

/** Puts `quantity` of the product with this SKU in the cart through the product tiles. */
async function addToCart(sku: string, quantity: number) {
  const [row] = await select('SELECT name FROM products WHERE sku = ?', [sku]);
  const name = String(row!.name);
  await page.locator('[data-field="scan"]').fill(name);
  await page.locator('[data-part="products"] button', { hasText: name }).first().click();
  const line = page.locator('[data-part="line"]', { hasText: name });
  await line.locator('[data-field="quantity"]').fill(String(quantity));
  await line.locator('[data-field="quantity"]').press('Tab');
  // Taken by the cart, not only typed.
  await expect.poll(() => line.locator('[data-field="quantity"]').inputValue()).toBe(String(quantity));
  await page.locator('[data-field="scan"]').fill('');
}

beforeAll(async () => {
  server = await startServer();
  browser = await launchChromium();
  host = await startServeHost();
  page = await browser.context.newPage();
  await page.goto(host.url);
  await page.getByTestId('server').fill(server.url);
  await page.getByTestId('email').fill('cashier@demo.test');
  await page.getByTestId('password').fill('demo-cashier-1');
  await page.getByTestId('login').click();
  await page.locator('[data-screen="till"]').waitFor({ timeout: 30_000 });
}, 90_000);

afterAll(async () => {
  await page?.close();
  await host?.stop();
  await browser?.close();
  await server?.stop();
});

describe('the end of the day', () => {
  it('opens the register with 100 and sells 250 in cash', async () => {
    await expect.poll(async () => (await select('SELECT COUNT(*) AS n FROM products'))[0]?.n, { timeout: 30_000 }).toBeGreaterThan(50);
    await page.locator('[data-field="opening-cash"]').fill('100');
    await page.locator('[data-action="open-register"]').click();
    await page.locator('[data-field="scan"]').waitFor();
    await addToCart('6191000003012', 5); // rice at 32: 160
    await addToCart('6191000000011', 20); // milk at 4.5: 90
    await page.keyboard.press('F12');
    await page.locator('[data-part="sale-complete"]').waitFor();
    await page.keyboard.press('Enter');
    const [sale] = await select("SELECT total, pos_method FROM invoices WHERE pos_method IS NOT NULL");
    expect(sale).toEqual({ total: 250, pos_method: 'cash' });
  });

  it('counts 40 collected and 15 refunded in the drawer, and closes 5 short', async () => {
    // An account payment and a cash refund of the shift, as the ledger and the returns record them.
    const [shift] = await select('SELECT uuid FROM shifts WHERE closed_at IS NULL');
    const at = new Date().toISOString();
    await execute(
      'INSERT INTO settlements (uuid, client_uuid, currency_code, amount, method, paid_at, shift_uuid, local_updated_at) ' +
        "VALUES ('e2e-payment', 'e2e-client', 'LYD', 40, 'cash', ?, ?, ?)",
      [at, shift!.uuid, at],
    );
    await execute(
      'INSERT INTO pos_refunds (uuid, invoice_uuid, shift_uuid, method, amount, currency_code, created_at) ' +
        "VALUES ('e2e-refund', 'e2e-sale', ?, 'cash', 15, 'LYD', ?)",
      [shift!.uuid, at],
    );

    await page.locator('[data-action="close-register"]').click();
    const wizard = page.locator('[data-part="end-of-day"]');
    await wizard.locator('[data-denomination="50"]').fill('7');
    await wizard.locator('[data-denomination="20"]').fill('1');
    await expect.poll(() => wizard.locator('[data-part="counted"]').textContent()).toContain('370.00');
    await wizard.locator('[data-action="next"]').click();
    await expect.poll(() => wizard.locator('[data-part="variance"]').first().textContent()).toContain('-5.00');
    await wizard.locator('[data-action="next"]').click();
    await wizard.locator('[data-field="close-notes"]').fill('Five short');
    await wizard.locator('[data-action="close-register"]').click();

    const report = page.locator('[data-part="z-report"]');
    await report.waitFor();
    expect(await report.locator('[data-part="opening-cash"]').textContent()).toContain('100.00');
    expect(await report.locator('[data-part="expected-cash"]').textContent()).toContain('375.00');
    expect(await report.locator('[data-part="counted-cash"]').textContent()).toContain('370.00');
    expect(await report.locator('[data-part="variance"]').textContent()).toContain('-5.00');

    const [closed] = await select('SELECT counted_cash, notes, closed_at FROM shifts WHERE uuid = ?', [shift!.uuid]);
    expect(closed).toMatchObject({ counted_cash: 370, notes: 'Five short' });
  });

  it('shares the Z-report as text', async () => {
    await page.evaluate(() => {
      Object.defineProperty(navigator, 'share', { value: undefined, configurable: true });
      Object.defineProperty(navigator, 'clipboard', {
        value: { writeText: async (text: string) => void ((window as unknown as { shared: string }).shared = text) },
        configurable: true,
      });
    });
    await page.locator('[data-action="share-report"]').click();
    const text = await page.waitForFunction(() => (window as unknown as { shared?: string }).shared).then((h) => h.jsonValue());
    const lines = String(text).split('\n');
    expect(lines[0]).toMatch(/^\*.+ — .+\*$/);
    expect(lines.slice(-4).map((l) => l.split(': ')[1])).toEqual(['100.00', '375.00', '370.00', '-5.00']);
  });

  it('returns to the open-register section; the server keeps the count and makes its own report', async () => {
    await page.locator('[data-action="done"]').click();
    await page.locator('[data-field="opening-cash"]').waitFor();
    await expect
      .poll(async () => (await select("SELECT COUNT(*) AS n FROM outbox WHERE entity = 'pos_shift'"))[0]?.n, { timeout: 30_000 })
      .toBe(0);
    // The server's own report comes back with the pull, made from the count it was sent.
    const summary = async () => {
      const [row] = await select('SELECT summary_json FROM shifts WHERE closed_at IS NOT NULL');
      return JSON.parse(String(row?.summary_json ?? 'null')) as Record<string, unknown> | null;
    };
    await expect.poll(async () => (await summary())?.byCurrency, { timeout: 30_000 }).toBeTruthy();
    expect(await summary()).toMatchObject({ currency: 'LYD', openingCash: 100, countedCash: 370 });
  });
});
