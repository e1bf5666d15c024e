import { expect } from 'vitest';
import { localSelect } from './session.mjs';

// A cashier's moves on the till screen, as the end-to-end tests make them.

/**
 * Waits for the catalogue, then opens the register with the counted cash.
 * @param {import('playwright-core').Page} page
 * @param {number} openingCash
 */
export async function openRegister(page, openingCash) {
  await expect
    .poll(async () => (await localSelect(page, 'SELECT COUNT(*) AS n FROM products'))[0]?.n, { timeout: 30_000 })
    .toBeGreaterThan(50);
  await page.locator('[data-field="opening-cash"]').fill(String(openingCash));
  await page.locator('[data-action="open-register"]').click();
  await page.locator('[data-field="scan"]').waitFor();
}

/**
 * Puts `quantity` of the product with this SKU in the cart through the product tiles.
 * @param {import('playwright-core').Page} page
 * @param {string} sku
 * @param {number} quantity
 */
export async function addToCart(page, sku, quantity) {
  const [row] = await localSelect(page, 'SELECT name FROM products WHERE sku = ?', [sku]);
  const name = String(row?.name);
  await page.locator('[data-field="scan"]').fill(name);
  await page.locator('[data-part="products"] button', { hasText: name }).first().click();
  const line = page.locator('[data-part="line"]', { hasText: name });
  await line.locator('[data-field="quantity"]').fill(String(quantity));
  await line.locator('[data-field="quantity"]').press('Tab');
  // Taken by the cart, not only typed.
  await expect.poll(() => line.locator('[data-field="quantity"]').inputValue()).toBe(String(quantity));
  await page.locator('[data-field="scan"]').fill('');
}

/**
 * Charges the cart in cash with F12 and closes the sale-complete dialog.
 * @param {import('playwright-core').Page} page
 */
export async function chargeInCash(page) {
  await page.keyboard.press('F12');
  await page.locator('[data-part="sale-complete"]').waitFor();
  await page.keyboard.press('Enter');
}
