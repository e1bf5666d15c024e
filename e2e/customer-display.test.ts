import { tmpdir } from 'node:os';
import path from 'node:path';
import type { Page } from 'playwright-core';
import { afterAll, beforeAll, describe, expect, it } from 'vitest';
import { localSelect } from './harness/session.mjs';
import { startSignedInClient } from './harness/signed-in.mjs';
import { addToCart, chargeInCash, openRegister } from './harness/till.mjs';

// The customer display in a second browser window, paired with the till by
// the code the till shows, following the cart through the real server.

let client: Awaited<ReturnType<typeof startSignedInClient>>;
let till: Page;
let display: Page;

beforeAll(async () => {
  client = await startSignedInClient({ email: 'cashier@demo.test', password: 'demo-cashier-1' });
  till = client.page;
}, 90_000);

afterAll(async () => {
  await display?.close();
  await client?.stop();
});

describe('the customer display', () => {
  it('pairs with the code the till shows', async () => {
    await openRegister(till, 0);
    await till.locator('[data-action="customer-display"]').click();
    const code = (await till.locator('[data-part="display-code"]').textContent())!.replace(/\s/g, '');
    const url = (await till.locator('[data-part="display-url"]').textContent())!.trim();
    expect(code).toMatch(/^\d{6}$/);
    expect(url).toBe(`${client.server.url}/display`);
    await till.keyboard.press('Escape');
    await till.locator('[data-part="customer-display"]').waitFor({ state: 'detached' });

    display = await client.browser.context.newPage();
    await display.goto(`${url}?lang=en`);
    await display.locator('#code').fill('000000');
    await display.locator('form button').click();
    await expect.poll(() => display.locator('#error').textContent()).toContain('expired or is not known');
    await display.locator('#code').fill(code);
    await display.locator('form button').click();
    await expect.poll(() => display.locator('#status').textContent(), { timeout: 10_000 }).toBe('Welcome');
  });

  it('follows the cart, the sale and the next sale', async () => {
    await addToCart(till, '6191000000011', 2); // milk at 4.5
    const [milk] = await localSelect(till, 'SELECT name FROM products WHERE sku = ?', ['6191000000011']);
    const lines = display.locator('#lines li');
    await expect.poll(() => lines.count(), { timeout: 10_000 }).toBe(1);
    expect(await lines.first().textContent()).toContain(String(milk!.name));
    await expect.poll(() => display.locator('.sums .total').textContent()).toContain('9.00 LYD');
    await display.screenshot({ path: path.join(tmpdir(), 'tovik-customer-display.png') });

    await chargeInCash(till);
    await expect.poll(() => display.locator('#status').textContent(), { timeout: 10_000 }).toBe('Welcome');
    expect(await lines.count()).toBe(0);
  });
});
