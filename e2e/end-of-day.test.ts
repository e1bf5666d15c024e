import type { Page } from 'playwright-core';
import { afterAll, beforeAll, describe, expect, it } from 'vitest';
import { localSelect } from './harness/session.mjs';
import { startSignedInClient } from './harness/signed-in.mjs';
import { addToCart, chargeInCash, openRegister } from './harness/till.mjs';

// The demo cashier's day at the till against the real host and the reference
// server: open with 100, sell 250 in cash, close with 370 counted.

let client: Awaited<ReturnType<typeof startSignedInClient>>;
let page: Page;

const select = (sql: string, params: unknown[] = []) => localSelect(page, sql, params);
const execute = (sql: string, params: unknown[] = []) =>
  page.evaluate(
    async ({ sql, params }) => (await window.__tovikStorage!.openLocalDb()).execute(sql, params as never[]),
    { sql, params },
  );

beforeAll(async () => {
  client = await startSignedInClient({ email: 'cashier@demo.test', password: 'demo-cashier-1' });
  page = client.page;
}, 90_000);

afterAll(async () => {
  await client?.stop();
});

describe('the end of the day', () => {
  it('opens the register with 100 and sells 250 in cash', async () => {
    await openRegister(page, 100);
    await addToCart(page, '6191000003012', 5); // rice at 32: 160
    await addToCart(page, '6191000000011', 20); // milk at 4.5: 90
    await chargeInCash(page);
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
