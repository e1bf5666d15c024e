import { mkdtemp, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import path from 'node:path';
import type { Page } from 'playwright-core';
import { afterAll, beforeAll, describe, expect, it } from 'vitest';
// Brings the type of window.__tovikShell.
import type {} from '../client/shell/test-hook';
import { launchChromium } from './harness/chromium.mjs';
import { startServeHost, type ServeHost } from './harness/serve-host.mjs';
import { seedSession } from './harness/session.mjs';

let dataDir: string;
let browser: Awaited<ReturnType<typeof launchChromium>>;

beforeAll(async () => {
  dataDir = await mkdtemp(path.join(tmpdir(), 'tovik-shell-data-'));
  browser = await launchChromium();
});

afterAll(async () => {
  await browser?.close();
  await rm(dataDir, { recursive: true, force: true });
});

async function openShell(host: ServeHost): Promise<{ page: Page; problems: string[] }> {
  const page = await browser.context.newPage();
  const problems: string[] = [];
  page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
  page.on('console', (message) => {
    // The seeded session's server is a closed port on purpose: refused calls are expected.
    if (message.type() === 'error' && !message.text().includes('ERR_CONNECTION_REFUSED'))
      problems.push(`console: ${message.text()}`);
  });
  await page.emulateMedia({ reducedMotion: 'reduce' });
  await page.goto(host.url);
  // The bell and the language button live in the working shell, behind a
  // session: a fresh host gets one, a restarted host still has it.
  const shell = page.getByTestId('top-bar');
  await shell.or(page.getByTestId('login')).first().waitFor();
  if (!(await shell.isVisible())) await seedSession(page);
  await shell.waitFor();
  return { page, problems };
}

const direction = (page: Page) =>
  page.evaluate(() => [document.documentElement.dir, document.documentElement.lang]);

describe('the language', () => {
  it('flips text and direction and survives a restart of the host', async () => {
    let host = await startServeHost({ dataDir });
    try {
      const { page, problems } = await openShell(host);
      const button = page.getByTestId('language');
      expect(await direction(page)).toEqual(['rtl', 'ar']);
      expect(await button.textContent()).toBe('EN');
      expect(await page.getByTestId('bell').getAttribute('title')).toBe('الإشعارات');

      await button.click();
      expect(await direction(page)).toEqual(['ltr', 'en']);
      // Stored before the host stops below.
      await expect.poll(() => button.getAttribute('aria-busy')).toBeNull();
      expect(await button.textContent()).toBe('عربي');
      expect(await page.getByTestId('bell').getAttribute('title')).toBe('Notifications');
      expect(problems).toEqual([]);
      await page.close();
    } finally {
      await host.stop();
    }

    host = await startServeHost({ dataDir });
    try {
      const { page } = await openShell(host);
      expect(await direction(page)).toEqual(['ltr', 'en']);
      expect(await page.getByTestId('language').textContent()).toBe('عربي');
      await page.getByTestId('language').click();
      expect(await direction(page)).toEqual(['rtl', 'ar']);
      await page.close();
    } finally {
      await host.stop();
    }
  });
});

describe('toasts and the notification centre', () => {
  let host: ServeHost;
  let page: Page;

  beforeAll(async () => {
    host = await startServeHost();
    ({ page } = await openShell(host));
  });

  afterAll(async () => {
    await host?.stop();
  });

  it('keeps three of four quick toasts and closes one on click', async () => {
    await page.evaluate(() => {
      for (const title of ['one', 'two', 'three', 'Printer saved.']) window.__tovikShell?.showToast(title, '', 'info');
    });
    const toasts = page.getByTestId('toast');
    expect(await toasts.allTextContents()).toEqual(['two', 'three', 'تم حفظ الطابعة.']);
    await toasts.first().click();
    await expect.poll(() => toasts.count()).toBe(2);
    await page.evaluate(() => window.__tovikShell?.clearNotifications());
  });

  it('counts a raised notification on the bell and lists it once', async () => {
    await page.evaluate(() => {
      const record = { id: 41, title: 'Low stock', message: 'Rice: 2 left', type: 'info' };
      window.__tovikShell?.raiseNotification(record, { sound: false });
      window.__tovikShell?.raiseNotification(record, { sound: false });
    });
    expect(await page.getByTestId('bell-count').textContent()).toBe('1');
    await page.getByTestId('bell').click();
    const items = page.getByTestId('nc-item');
    expect(await items.count()).toBe(1);
    expect(await items.first().textContent()).toContain('Rice: 2 left');
    expect(await page.getByTestId('bell-count').count()).toBe(0);
    await page.getByTestId('nc-close').click();
    expect(await page.getByTestId('notification-center').count()).toBe(0);
  });
});
