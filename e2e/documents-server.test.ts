import { readFile } from 'node:fs/promises';
import type { Page } from 'playwright-core';
import { afterAll, beforeAll, describe, expect, it } from 'vitest';
import { localSelect } from './harness/session.mjs';
import { startSignedInClient } from './harness/signed-in.mjs';

// The owner issues an invoice and a quotation against the real host and the
// reference server: queued as "Not synced yet", numbered by the server, and
// the invoice's PDF downloaded under the name the server gives it.

let client: Awaited<ReturnType<typeof startSignedInClient>>;
let page: Page;

async function syncNow() {
  for (let run = 0; run < 2; run++)
    await page.evaluate(async () => {
      await (window.__tovikSync!.engine() as { sync(force: boolean): Promise<void> }).sync(true);
    });
}

/** Fills the open form with one line of the demo's milk, for the demo customer with an Arabic name. */
async function fillForm(formId: string) {
  const form = page.getByTestId(formId);
  const [client] = await localSelect(page, "SELECT uuid FROM clients WHERE phone = '+218926789012'");
  const [milk] = await localSelect(page, "SELECT uuid FROM products WHERE sku = '6191000000011'");
  await form.getByTestId('document-client').selectOption(String(client!.uuid));
  const line = form.getByTestId('document-line').first();
  await line.locator('[data-field="product"]').selectOption(String(milk!.uuid));
  await line.locator('[data-field="quantity"]').fill('4');
  await line.locator('[data-field="quantity"]').press('Tab');
  expect(await form.getByTestId('document-total').textContent()).toBe('18.00');
  await form.getByTestId('document-save').click();
  await form.waitFor({ state: 'detached' });
}

beforeAll(async () => {
  client = await startSignedInClient({ email: 'owner@demo.test', password: 'demo-owner-1', landing: '[data-testid="tab-invoices"]' });
  page = client.page;
  await page.waitForFunction(() => window.__tovikSync?.engine() != null);
}, 90_000);

afterAll(async () => {
  await client?.stop();
});

describe('documents through the server', () => {
  it('numbers an invoice drafted here and downloads its PDF under the decoded name', async () => {
    await expect.poll(async () => (await localSelect(page, 'SELECT COUNT(*) AS n FROM clients'))[0]?.n, { timeout: 30_000 }).toBeGreaterThan(3);
    await page.getByTestId('tab-invoices').click();
    await page.getByTestId('new-invoice').click();
    await fillForm('invoice-form');
    const row = page.getByTestId('document-row').first();
    // Drafted while the engine waits: the list says so until the server has numbered it.
    await page.evaluate(() => (window.__tovikSync!.engine() as { halt(): Promise<void> }).halt());
    expect(await row.getByTestId('document-status').textContent()).toBe('لم تتم المزامنة بعد');
    await page.evaluate(() => (window.__tovikSync!.engine() as { resume(): void }).resume());
    await syncNow();
    await expect.poll(async () => (await localSelect(page, "SELECT invoice_number FROM invoices WHERE pos_method IS NULL"))[0]?.invoice_number, { timeout: 30_000 }).toMatch(/^INV-/);
    const [invoice] = await localSelect(page, 'SELECT uuid, invoice_number FROM invoices WHERE pos_method IS NULL');

    const download = page.waitForEvent('download');
    await page.locator(`[data-uuid="${String(invoice!.uuid)}"]`).getByTestId('document-pdf').click();
    const file = await download;
    expect(file.suggestedFilename()).toBe(`${String(invoice!.invoice_number)} هدى الزوي.pdf`);
    expect((await readFile((await file.path())!)).subarray(0, 5).toString()).toBe('%PDF-');
  });

  it('numbers a quotation', async () => {
    await page.getByTestId('tab-quotes').click();
    await page.getByTestId('new-quotation').click();
    await fillForm('quotation-form');
    await syncNow();
    await expect.poll(async () => (await localSelect(page, 'SELECT quotation_number FROM quotations'))[0]?.quotation_number, { timeout: 30_000 }).toMatch(/^QUO-/);
  });
});
