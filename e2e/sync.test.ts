import type { Page } from 'playwright-core';
import { afterAll, beforeAll, describe, expect, it } from 'vitest';
import { launchChromium } from './harness/chromium.mjs';
import { startServeHost, type ServeHost } from './harness/serve-host.mjs';
import { startServer, type TestServer } from './harness/server.mjs';

// Two devices of one company (two hosts, two data folders) stay in step
// through the reference server.

let server: TestServer;
let browser: Awaited<ReturnType<typeof launchChromium>>;
const devices: { host: ServeHost; page: Page }[] = [];

async function device(): Promise<Page> {
  const host = await startServeHost();
  const page = await browser.context.newPage();
  devices.push({ host, page });
  await page.goto(host.url);
  await page.getByTestId('server').fill(server.url);
  await page.getByTestId('email').fill('owner@demo.test');
  await page.getByTestId('password').fill('demo-owner-1');
  await page.getByTestId('login').click();
  await page.getByTestId('top-bar').waitFor();
  await page.waitForFunction(() => window.__tovikSync?.engine() !== null);
  return page;
}

type Call = 'save' | 'remove' | 'sync' | 'halt' | 'resume';
/** Runs one engine call in the page; `args` are passed as they are. */
const engine = (page: Page, call: Call, ...args: unknown[]) =>
  page.evaluate(
    async ({ call, args }) => {
      const e = window.__tovikSync!.engine()! as unknown as Record<string, (...a: unknown[]) => unknown>;
      if (call === 'resume' || call === 'halt') return e[call]!();
      return await e[call]!(...args);
    },
    { call, args },
  );

const select = (page: Page, sql: string, params: unknown[] = []) =>
  page.evaluate(
    async ({ sql, params }) => (await window.__tovikStorage!.openLocalDb()).select(sql, params as never[]),
    { sql, params },
  );

/** A full run: the engine's own run, plus the one a kick may have started meanwhile. */
async function syncNow(page: Page) {
  await engine(page, 'sync');
  await engine(page, 'sync');
}

beforeAll(async () => {
  server = await startServer();
  browser = await launchChromium();
});

afterAll(async () => {
  for (const { host, page } of devices) {
    await page.close();
    await host.stop();
  }
  await browser?.close();
  await server?.stop();
});

describe('two devices of one company', () => {
  let a: Page;
  let b: Page;
  let clientUuid: string;
  let productUuid: string;

  beforeAll(async () => {
    a = await device();
    b = await device();
  }, 60_000);

  it('records made offline on one reach the other after its next run', async () => {
    await engine(a, 'halt');
    clientUuid = String(await engine(a, 'save', 'client', { name: 'Offline Client', phone: '0912345678' }));
    productUuid = String(
      await engine(a, 'save', 'product', { name: 'Offline Tea', price: 4.5, stock: 12, type: 'product', unit: 'piece' }),
    );
    expect(await select(a, 'SELECT COUNT(*) AS n FROM outbox')).toEqual([{ n: 2 }]);
    await engine(a, 'resume');
    await syncNow(a);
    expect(await select(a, 'SELECT COUNT(*) AS n FROM outbox')).toEqual([{ n: 0 }]);
    expect(await select(a, 'SELECT dirty, server_id IS NOT NULL AS known FROM clients WHERE uuid = ?', [clientUuid])).toEqual([
      { dirty: 0, known: 1 },
    ]);

    await syncNow(b);
    expect(await select(b, 'SELECT name, phone FROM clients WHERE uuid = ?', [clientUuid])).toEqual([
      { name: 'Offline Client', phone: '0912345678' },
    ]);
    expect(await select(b, 'SELECT name, price, stock FROM products WHERE uuid = ?', [productUuid])).toEqual([
      { name: 'Offline Tea', price: 4.5, stock: 12 },
    ]);
  });

  it("a conflicting edit ends with the server's record on both", async () => {
    await engine(b, 'save', 'client', { uuid: clientUuid, name: 'Edited on B' });
    await syncNow(b);
    await engine(a, 'halt');
    await engine(a, 'save', 'client', { uuid: clientUuid, name: 'Edited on A' });
    await engine(a, 'resume');
    await syncNow(a);
    expect(await select(a, 'SELECT name, dirty FROM clients WHERE uuid = ?', [clientUuid])).toEqual([
      { name: 'Edited on B', dirty: 0 },
    ]);
    expect(await select(a, 'SELECT COUNT(*) AS n FROM dead_letter')).toEqual([{ n: 0 }]);
  });

  it('a record deleted on one disappears from the other', async () => {
    await engine(a, 'remove', 'product', productUuid);
    await syncNow(a);
    expect(await select(a, 'SELECT * FROM products WHERE uuid = ?', [productUuid])).toEqual([]);
    await syncNow(b);
    expect(await select(b, 'SELECT * FROM products WHERE uuid = ?', [productUuid])).toEqual([]);
  });
});

describe('the sync screen', () => {
  it('shows a refused change, resends it with "Sync now" and dismisses it', async () => {
    const page = await device();
    await page.getByTestId('account-menu').click();
    await page.getByTestId('account-settings').click();
    const card = page.getByTestId('needs-attention');
    await expect.poll(() => card.textContent()).toContain('لا شيء هنا');
    expect(await page.getByTestId('pending-count').textContent()).toBe('0');

    // A client without a name: the server refuses it.
    await engine(page, 'save', 'client', { name: '' });
    const letter = page.getByTestId('dead-letter');
    await letter.waitFor();
    expect(await letter.textContent()).toContain('عميل');
    // The counts follow the run's report, a moment after the letter shows.
    await expect.poll(() => page.getByTestId('pending-count').textContent()).toBe('0');

    // Resent while the engine waits: the change queues again and the letter goes.
    await engine(page, 'halt');
    await page.getByTestId('dead-retry').click();
    await expect.poll(() => page.getByTestId('pending-count').textContent()).toBe('1');
    // The list and the count are read apart: under load the list may follow a moment later.
    await expect.poll(() => letter.count()).toBe(0);
    await engine(page, 'resume');
    await page.getByTestId('sync-now').click();
    // Refused again, it comes back; dismissed, it is gone for good.
    await letter.waitFor();
    await expect.poll(() => page.getByTestId('pending-count').textContent()).toBe('0');
    await page.getByTestId('dead-dismiss').click();
    await expect.poll(() => letter.count()).toBe(0);
    expect(await card.textContent()).toContain('لا شيء هنا');
    expect(await select(page, 'SELECT COUNT(*) AS n FROM dead_letter')).toEqual([{ n: 0 }]);
  });
});

declare global {
  interface Window {
    __tovikSync?: { engine: () => unknown; [key: string]: unknown };
  }
}
