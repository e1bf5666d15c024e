import { createServer, type Server } from 'node:http';
import type { AddressInfo } from 'node:net';
import type { Page } from 'playwright-core';
import { afterAll, beforeAll, describe, expect, it } from 'vitest';
import { launchChromium } from './harness/chromium.mjs';
import { startServeHost, type ServeHost } from './harness/serve-host.mjs';
import { localSelect, OWNER_PROFILE, seedSession } from './harness/session.mjs';

// The invoice and quotation screens in the served client (a browser, so a
// PDF leaves as a download). The server is a loopback stand-in that answers
// the PDF route only: everything else it refuses, which keeps the client offline
// for sync.

const PDF = Buffer.from('%PDF-1.4\n%stand-in\n');
const ARABIC_NAME = "%D9%81%D8%A7%D8%AA%D9%88%D8%B1%D8%A9%20INV-0007.pdf";
const requests: string[] = [];

let api: Server;
let host: ServeHost;
let browser: Awaited<ReturnType<typeof launchChromium>>;
let page: Page;

const execute = (sql: string) =>
  page.evaluate(async (sql) => (await window.__tovikStorage!.openLocalDb()).execute(sql, []), sql);

beforeAll(async () => {
  api = createServer((req, res) => {
    const cors = { 'Access-Control-Allow-Origin': '*', 'Access-Control-Allow-Headers': '*', 'Access-Control-Expose-Headers': 'Content-Disposition' };
    if (req.method === 'OPTIONS') return void res.writeHead(204, cors).end();
    if (/^\/mobile\/v2\/invoices\/inv-7\/pdf\?lang=(ar|en)$/.test(req.url ?? '')) {
      requests.push(req.url ?? '');
      return void res
        .writeHead(200, { ...cors, 'Content-Type': 'application/pdf', 'Content-Disposition': `attachment; filename="INV-0007.pdf"; filename*=UTF-8''${ARABIC_NAME}` })
        .end(PDF);
    }
    res.writeHead(404, { ...cors, 'Content-Type': 'application/json' }).end(JSON.stringify({ message: 'Not here' }));
  });
  await new Promise<void>((resolve) => api.listen(0, '127.0.0.1', resolve));
  host = await startServeHost();
  browser = await launchChromium();
  page = await browser.context.newPage();
  await page.goto(host.url);
  await seedSession(page, { profile: OWNER_PROFILE, serverUrl: `http://127.0.0.1:${(api.address() as AddressInfo).port}` });
  await page.getByTestId('tab-invoices').waitFor({ timeout: 30_000 });
  const at = "'2026-01-01T00:00:00Z'";
  await execute(`INSERT INTO clients (uuid, name, deleted, dirty, local_updated_at) VALUES ('c-1', 'شركة النور', 0, 0, ${at})`);
  await execute(
    `INSERT INTO products (uuid, name, price, stock, is_active, deleted, dirty, local_updated_at) VALUES ('p-1', 'قلم', 2.5, 10, 1, 0, 0, ${at})`,
  );
  await execute(
    'INSERT INTO invoices (uuid, invoice_number, status, client_uuid, due_date, total, items_json, taxes_json, deleted, dirty, local_updated_at) ' +
      `VALUES ('inv-7', 'INV-0007', 'paid', 'c-1', '2026-01-15', 120.5, '[]', '[]', 0, 0, ${at})`,
  );
});

afterAll(async () => {
  await browser?.close();
  await host?.stop();
  api?.close();
});

describe('invoices', () => {
  it('shows a whole quantity before saving, then takes the stock and queues the invoice once', async () => {
    await page.getByTestId('tab-invoices').click();
    await page.getByTestId('new-invoice').click();
    const form = page.getByTestId('invoice-form');
    await form.getByTestId('document-client').selectOption('c-1');
    const line = form.getByTestId('document-line').first();
    await line.locator('[data-field="product"]').selectOption('p-1');
    await line.locator('[data-field="quantity"]').fill('2.6');
    await line.locator('[data-field="quantity"]').press('Tab');
    expect(await line.locator('[data-field="quantity"]').inputValue()).toBe('3');
    // A line without a name is not an item and adds nothing.
    await form.getByTestId('document-add-line').click();
    await form.getByTestId('document-line').nth(1).locator('[data-field="price"]').fill('99');
    await form.getByTestId('document-vat').fill('10');
    expect(await form.getByTestId('document-total').textContent()).toBe('8.25');

    await form.getByTestId('document-save').click();
    await form.waitFor({ state: 'detached' });
    expect(await localSelect(page, 'SELECT stock FROM products')).toEqual([{ stock: 7 }]);
    expect(await localSelect(page, 'SELECT entity FROM outbox')).toEqual([{ entity: 'invoice' }]);
    const row = page.getByTestId('document-row').first();
    expect(await row.getByTestId('document-status').textContent()).toBe('لم تتم المزامنة بعد');
    expect(await row.getByTestId('document-pdf').count()).toBe(0);
  });

  it('downloads a numbered invoice under the decoded name, in the interface language', async () => {
    const download = page.waitForEvent('download');
    await page.locator('[data-uuid="inv-7"]').getByTestId('document-pdf').click();
    expect((await download).suggestedFilename()).toBe('فاتورة INV-0007.pdf');
    expect(requests).toEqual(['/mobile/v2/invoices/inv-7/pdf?lang=ar']);
  });

  it('asks for a connection when the device is offline', async () => {
    await browser.context.setOffline(true);
    try {
      await page.locator('[data-uuid="inv-7"]').getByTestId('document-pdf').click();
      expect(await page.getByTestId('document-error').textContent()).toBe('اتصل بالإنترنت لتنزيل ملف PDF.');
    } finally {
      await browser.context.setOffline(false);
    }
  });
});

describe('quotations', () => {
  it('open their form from the palette, once', async () => {
    await page.getByTestId('tab-clients').click();
    await page.keyboard.press('Control+k');
    await page.getByTestId('palette-input').fill('عرض سعر جديد');
    await page.getByTestId('palette-hit').filter({ hasText: 'عرض سعر جديد' }).first().click();
    await page.getByTestId('quotation-form').waitFor();
    await page.getByTestId('tab-invoices').click();
    await page.getByTestId('tab-quotes').click();
    await page.getByTestId('quotation-list').waitFor();
    expect(await page.getByTestId('quotation-form').count()).toBe(0);
  });
});
