import { writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import path from 'node:path';
import type { Page } from 'playwright-core';
import { afterAll, beforeAll, describe, expect, it } from 'vitest';
import { decodeEscPos, inkBands } from './escpos/decode';
import { imageToPng } from './escpos/png';
import { launchChromium } from './harness/chromium.mjs';
import { startPrivateCups, type PrivateCups } from './harness/cupsd.mjs';
import { startCapturePrinter, type CapturePrinter } from './harness/printer-listener.mjs';
import { startServeHost, type ServeHost } from './harness/serve-host.mjs';
import { startServer, type TestServer } from './harness/server.mjs';
import { signInThroughScreen } from './harness/session.mjs';
import { chargeInCash, openRegister } from './harness/till.mjs';

// The daily close, printed from the till by the demo cashier to the receipt
// printer: a private CUPS raw queue whose job lands on a capture listener on
// loopback, decoded back into the image that would come out of the printer.

let server: TestServer;
let cups: PrivateCups;
let spooled: CapturePrinter;
let host: ServeHost;
let browser: Awaited<ReturnType<typeof launchChromium>>;
let page: Page;

beforeAll(async () => {
  server = await startServer();
  spooled = await startCapturePrinter();
  cups = await startPrivateCups();
  await cups.addRawQueue('Receipt_Q', `socket://127.0.0.1:${spooled.port}`);
  process.env.CUPS_SERVER = cups.server;
  host = await startServeHost();
  browser = await launchChromium();
  page = await browser.context.newPage();
  await signInThroughScreen(page, { hostUrl: host.url, serverUrl: server.url, email: 'cashier@demo.test', password: 'demo-cashier-1' });
}, 90_000);

afterAll(async () => {
  await page?.close();
  await browser?.close();
  await host?.stop();
  await cups?.stop();
  await spooled?.close();
  await server?.stop();
  delete process.env.CUPS_SERVER;
});

describe('the daily close on the receipt printer', () => {
  it('prints the day of a cash sale as one 80 mm image through the spooler', async () => {
    await openRegister(page, 100);
    await page.locator('[data-field="scan"]').fill('6191000000011');
    await page.locator('[data-field="scan"]').press('Enter');
    await expect.poll(() => page.locator('[data-part="line"]').count()).toBe(1);
    await chargeInCash(page);

    // The till's printer is the private queue, as Settings would store it.
    await page.evaluate(async () => {
      const db = await window.__tovikStorage!.openLocalDb();
      const printer = { kind: 'system', name: 'Receipt_Q', paper: 80, autoCut: true, drawerOnCash: false, autoPrint: false };
      await db.execute("INSERT OR REPLACE INTO meta (key, value) VALUES ('printer', ?)", [JSON.stringify(printer)]);
    });
    await page.locator('[data-action="daily-close"]').first().click();
    await page.locator('[data-action="daily-close-thermal"]').click();

    const paper = decodeEscPos(await spooled.nextJob(1));
    expect(paper.images).toHaveLength(1);
    const image = paper.images[0]!;
    await writeFile(path.join(tmpdir(), 'tovik-daily-close.png'), imageToPng(image));
    expect(image.width).toBe(576);
    expect(paper.events.map((e) => e.kind)).toEqual(expect.arrayContaining(['init', 'raster', 'cut']));
    // The heading, the date, the sales, the cash and the totals each ink a row.
    expect(inkBands(image).length).toBeGreaterThanOrEqual(8);
    await page.locator('[data-part="daily-close"]').waitFor({ state: 'detached' });
  });
});
