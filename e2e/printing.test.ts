import { writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import path from 'node:path';
import type { Page } from 'playwright-core';
import { afterAll, beforeAll, describe, expect, it } from 'vitest';
import { decodeEscPos, inkSpan, type Image } from './escpos/decode';
import { imageToPng } from './escpos/png';
import { launchChromium } from './harness/chromium.mjs';
import { startPrivateCups, type PrivateCups } from './harness/cupsd.mjs';
import { ipc } from './harness/http.mjs';
import { startCapturePrinter, startSilentPrinter, type CapturePrinter } from './harness/printer-listener.mjs';
import { startServeHost, type ServeHost } from './harness/serve-host.mjs';
import { seedSession } from './harness/session.mjs';

// The real host in serve mode against a private CUPS scheduler whose raw
// queues print to capture listeners on loopback, and fake network printers on
// 127.0.0.x. Discovery is pointed at 127.0.0.0/24 and never sees a real network.

let cups: PrivateCups;
let spooled: CapturePrinter;
let network: CapturePrinter;
let host: ServeHost;
let browser: Awaited<ReturnType<typeof launchChromium>>;
let page: Page;

const call = async (cmd: string, args: unknown) => {
  const reply = await ipc(host.origin, host.token, cmd, args);
  return { status: reply.status, body: JSON.parse(reply.body) as unknown };
};

beforeAll(async () => {
  spooled = await startCapturePrinter();
  network = await startCapturePrinter();
  cups = await startPrivateCups();
  await cups.addRawQueue('Receipt_Q', `socket://127.0.0.1:${spooled.port}`);
  await cups.addRawQueue('Paused_Q', `socket://127.0.0.1:${spooled.port}`);
  await cups.admin(['cupsdisable', 'Paused_Q']);
  await cups.addRawQueue('Closed_Q', `socket://127.0.0.1:${spooled.port}`);
  await cups.admin(['cupsreject', 'Closed_Q']);

  process.env.CUPS_SERVER = cups.server;
  process.env.TOVIK_DISCOVERY_BASE = '127.0.0.0';
  host = await startServeHost();
  browser = await launchChromium();
  page = await browser.context.newPage();
  await page.goto(host.url);
  await seedSession(page);
  await page.getByTestId('account-menu').click();
  await page.getByTestId('account-settings').click();
  await page.getByTestId('printer-settings').waitFor();
}, 90_000);

afterAll(async () => {
  await browser?.close();
  await host?.stop();
  await cups?.stop();
  await spooled?.close();
  await network?.close();
  delete process.env.CUPS_SERVER;
  delete process.env.TOVIK_DISCOVERY_BASE;
});

const toast = (text: string) => page.getByTestId('toast').filter({ hasText: text }).waitFor();

/** The one image of a job; its PNG goes to the temporary folder for a person to look at. */
async function printedImage(job: Buffer, name: string): Promise<{ image: Image; events: string[] }> {
  const paper = decodeEscPos(job);
  expect(paper.images).toHaveLength(1);
  const image = paper.images[0]!;
  await writeFile(path.join(tmpdir(), `tovik-${name}.png`), imageToPng(image));
  return { image, events: paper.events.map((e) => e.kind) };
}

describe('the installed printer', () => {
  it('lists the private queues and prints the Arabic test page through one as an 80 mm image', async () => {
    await page.getByTestId('printer-kind-system').click();
    const names = await page.getByTestId('printer-name').locator('option').allTextContents();
    expect(names).toEqual(expect.arrayContaining(['Receipt_Q', 'Paused_Q', 'Closed_Q']));
    await page.getByTestId('printer-name').selectOption('Receipt_Q');
    await page.getByTestId('printer-test').click();
    await toast('أُرسلت صفحة الاختبار.');

    const { image, events } = await printedImage(await spooled.nextJob(1), 'test-page-cups');
    expect(image.width).toBe(576);
    // Seven rows: a big one, five of 32 dots, two rules of 14, and the margins.
    expect(image.height).toBe(8 + 51 + 32 + 14 + 32 + 32 + 32 + 14 + 8);
    expect(events).toEqual(['init', 'align', 'raster', 'feed', 'cut']);
    // Right to left: "Paper" sits at the right edge, the width "80 mm" at the left.
    const paperRow = inkSpan(image, 105, 137);
    expect(paperRow!.right).toBeGreaterThan(555);
    expect(paperRow!.right).toBeLessThanOrEqual(568);
    expect(paperRow!.left).toBeGreaterThanOrEqual(8);
    expect(paperRow!.left).toBeLessThan(20);
    // The centred Arabic greeting has ink on both sides of the middle, inside the margins.
    const greeting = inkSpan(image, 169, 201);
    expect(greeting!.left).toBeLessThan(288);
    expect(greeting!.right).toBeGreaterThan(288);
  });

  it.each([
    ['Paused_Q', 'printer "Paused_Q" is paused and cannot print'],
    ['Closed_Q', 'printer "Closed_Q" is not accepting jobs'],
    ['Nowhere_Q', 'printer "Nowhere_Q" was not found'],
  ])('refuses %s with a message instead of queueing a job that never prints', async (printer, message) => {
    expect(await call('printer_print_raw', { printer, data: 'G0A=' })).toEqual({ status: 400, body: message });
  });

  it('checks the data before anything else', async () => {
    expect(await call('printer_print_raw', { printer: 'Receipt_Q', data: '' })).toEqual({
      status: 400,
      body: 'print job is empty or too large',
    });
    const bad = await call('printer_print_raw', { printer: 'Receipt_Q', data: '%%%%' });
    expect(String(bad.body)).toMatch(/^bad print data: /);
  });
});

describe('the network printer', () => {
  it('opens the drawer with exactly its bytes and prints the test page', async () => {
    await page.getByTestId('printer-kind-network').click();
    await page.getByTestId('printer-host').fill('127.0.0.1');
    await page.getByTestId('printer-port').fill(String(network.port));
    await page.getByTestId('printer-paper-58').click();
    await page.getByTestId('printer-drawer').click();
    expect([...(await network.nextJob(1))]).toEqual([0x1b, 0x40, 0x1b, 0x70, 0x00, 0x19, 0xfa]);

    await page.getByTestId('printer-test').click();
    await toast('أُرسلت صفحة الاختبار.');
    const { image } = await printedImage(await network.nextJob(2), 'test-page-tcp');
    expect(image.width).toBe(384);
  });

  it('finds the printers of the injected loopback network in numeric order', async () => {
    const fakes = await Promise.all(
      ['127.0.0.100', '127.0.0.2', '127.0.0.20'].map((address) => startCapturePrinter({ address, port: 9100 })),
    );
    try {
      await page.getByTestId('printer-find').click();
      const chips = page.getByTestId('printer-found');
      await chips.first().waitFor();
      expect((await chips.allTextContents()).map((text) => text.trim())).toEqual(['127.0.0.2', '127.0.0.20', '127.0.0.100']);
      await chips.nth(1).click();
      expect(await page.getByTestId('printer-host').inputValue()).toBe('127.0.0.20');
    } finally {
      await Promise.all(fakes.map((fake) => fake.close()));
    }
  });

  it('gives up on an unanswering printer with its message while the database keeps answering', async () => {
    const off = await startSilentPrinter();
    const { port } = off;
    try {
      let printed = false;
      const printing = call('printer_print_tcp', { host: '127.0.0.1', port, data: 'G0A=' }).finally(() => {
        printed = true;
      });
      await call('db_open', {});
      const answer = await call('db_select', { sql: 'SELECT 1 AS one', params: [] });
      expect(answer).toEqual({ status: 200, body: [{ one: 1 }] });
      expect(printed).toBe(false);
      expect(await printing).toEqual({
        status: 400,
        body: `cannot reach the printer at 127.0.0.1:${port}: Connection timed out`,
      });
    } finally {
      off.close();
    }
  });
});
