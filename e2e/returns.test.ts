import type { Page } from 'playwright-core';
import { afterAll, beforeAll, describe, expect, it } from 'vitest';
import { launchChromium } from './harness/chromium.mjs';
import { startServeHost, type ServeHost } from './harness/serve-host.mjs';
import { startServer, type TestServer } from './harness/server.mjs';
import { localSelect, signInThroughScreen } from './harness/session.mjs';
import { addToCart, chargeInCash, openRegister } from './harness/till.mjs';

// Two tills of the demo shop against the real host and server: a cash sale on
// Till 1, part of it returned on Till 2 by the cashier with the manager's PIN,
// and the return counted in Till 1's daily close.

const MANAGER_PIN = '246810';

let server: TestServer;
let browser: Awaited<ReturnType<typeof launchChromium>>;
const hosts: ServeHost[] = [];
let till1: Page;
let till2: Page;
let saleNumber = '';

async function openTill(): Promise<Page> {
  const host = await startServeHost();
  hosts.push(host);
  const page = await browser.context.newPage();
  await signInThroughScreen(page, { hostUrl: host.url, serverUrl: server.url, email: 'cashier@demo.test', password: 'demo-cashier-1' });
  await page.waitForFunction(() => window.__tovikSync?.engine() != null);
  return page;
}

/** A full run: the engine's own run, plus the one a kick may have started meanwhile. */
async function syncNow(page: Page) {
  for (let run = 0; run < 2; run++)
    await page.evaluate(async () => {
      await (window.__tovikSync!.engine() as { sync(force: boolean): Promise<void> }).sync(true);
    });
}

async function syncedValue(page: Page, sql: string, params: unknown[] = []): Promise<unknown> {
  let value: unknown;
  await expect
    .poll(
      async () => {
        await syncNow(page);
        value = (await localSelect(page, sql, params))[0];
        return value !== undefined;
      },
      { timeout: 30_000 },
    )
    .toBe(true);
  return value;
}

beforeAll(async () => {
  server = await startServer();
  browser = await launchChromium();
  till1 = await openTill();
  till2 = await openTill();
}, 120_000);

afterAll(async () => {
  await till1?.close();
  await till2?.close();
  for (const host of hosts) await host.stop();
  await browser?.close();
  await server?.stop();
});

describe('a return on another till', () => {
  it('sells 250 in cash on Till 1', async () => {
    await openRegister(till1, 100);
    await addToCart(till1, '6191000003012', 5); // rice at 32: 160
    await addToCart(till1, '6191000000011', 20); // milk at 4.5: 90
    await chargeInCash(till1);
    const sale = (await syncedValue(
      till1,
      'SELECT invoice_number FROM invoices WHERE pos_method IS NOT NULL AND server_id IS NOT NULL AND invoice_number IS NOT NULL',
    )) as { invoice_number: string };
    saleNumber = sale.invoice_number;
    expect(saleNumber).toMatch(/^SAL-/);
  });

  it('returns two milks on Till 2 once the manager gives the PIN', async () => {
    await openRegister(till2, 0);
    await syncedValue(till2, 'SELECT uuid FROM invoices WHERE invoice_number = ? AND server_id IS NOT NULL', [saleNumber]);
    await till2.locator('[data-field="scan"]').focus();
    await till2.keyboard.press('F9');
    const panel = till2.locator('[data-panel="return"]');
    await panel.locator('[data-field="return-search"]').fill(saleNumber);
    await panel.locator('[data-field="return-search"]').press('Enter');
    await panel.locator('[data-action="pick-sale"]', { hasText: saleNumber }).click();

    const milk = panel.locator('[data-field="return-qty"]').nth(1);
    await milk.fill('2');
    await expect.poll(() => panel.locator('[data-action="send-return"]').textContent()).toContain('9.00');
    await panel.locator('[data-action="send-return"]').click();
    // A cashier's return waits for the manager; the same return goes again with the PIN.
    await panel.locator('[data-field="return-pin"]').fill(MANAGER_PIN);
    await panel.locator('[data-action="send-return"]').click();
    await expect
      .poll(async () => (await localSelect(till2, 'SELECT number, amount, method, currency_code FROM pos_refunds'))[0], { timeout: 15_000 })
      .toMatchObject({ amount: 9, method: 'cash', currency_code: 'LYD' });
    const [refund] = await localSelect(till2, 'SELECT number FROM pos_refunds');
    expect(String(refund!.number)).toMatch(/^RET-/);
  });

  it("counts Till 2's return in Till 1's daily close", async () => {
    const pulled = (await syncedValue(till1, 'SELECT amount, method FROM pos_returns')) as { amount: number; method: string };
    expect(pulled).toEqual({ amount: 9, method: 'cash' });
    // The A4 page is printed from a frame of the page: keep what each frame was given.
    await till1.evaluate(() => {
      const pages: string[] = [];
      (window as unknown as { printedPages: string[] }).printedPages = pages;
      new MutationObserver((changes) => {
        for (const change of changes)
          for (const node of change.addedNodes) if (node instanceof HTMLIFrameElement) pages.push(node.srcdoc);
      }).observe(document.body, { childList: true });
    });
    await till1.locator('[data-action="daily-close"]').first().click();
    await till1.locator('[data-action="daily-close-a4"]').click();
    const html = String(
      await till1
        .waitForFunction(() => (window as unknown as { printedPages: string[] }).printedPages[0])
        .then((handle) => handle.jsonValue()),
    );
    const text = html.replace(/<[^>]+>/g, ' ').replace(/\s+/g, ' ');
    // In the till's language: "Returns refunded", and the drawer of opening 100 + cash sales 250 - cash refunds 9.
    expect(text).toMatch(/المرتجعات المستردة \S*-9\.00 LYD/);
    expect(text).toMatch(/صافي رصيد الدرج \S*341\.00 LYD/);
  });
});
