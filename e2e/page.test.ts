import { afterAll, beforeAll, describe, expect, it } from 'vitest';
import type { Page } from 'playwright-core';
import { launchChromium } from './harness/chromium.mjs';
import { request } from './harness/http.mjs';
import { startServeHost, type ServeHost } from './harness/serve-host.mjs';

const POLICY_START =
  "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'; style-src 'self' 'unsafe-inline'; img-src 'self' data:;";

let host: ServeHost;
let browser: Awaited<ReturnType<typeof launchChromium>>;

beforeAll(async () => {
  host = await startServeHost();
  browser = await launchChromium();
});

afterAll(async () => {
  await browser?.close();
  await host?.stop();
});

describe('the embedded client in serve mode', () => {
  it('is served with the content security policy', async () => {
    const reply = await request(`${host.origin}/`);
    expect(reply.status).toBe(200);
    expect(reply.headers['content-type']).toMatch(/^text\/html/);
    const policy = String(reply.headers['content-security-policy']);
    expect(policy.startsWith(POLICY_START)).toBe(true);
    expect(policy).toContain('connect-src');
    expect(reply.body).toContain('<html dir="rtl" lang="ar">');
  });

  it('shows the splash with no script error and no policy violation', async () => {
    const page: Page = await browser.context.newPage();
    const problems: string[] = [];
    page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
    page.on('console', (message) => {
      if (message.type() === 'error') problems.push(`console: ${message.text()}`);
    });
    page.on('requestfailed', (req) => problems.push(`request failed: ${req.url()} ${req.failure()?.errorText}`));

    // No entrance animation, so the logo is measured where it rests.
    await page.emulateMedia({ reducedMotion: 'reduce' });
    await page.goto(host.url);
    const splash = page.getByTestId('splash');
    await splash.waitFor();
    await expect(splash.getByRole('img', { name: 'TOVIK pro' }).isVisible()).resolves.toBe(true);
    expect(await page.evaluate(() => [document.documentElement.dir, document.documentElement.lang])).toEqual([
      'rtl',
      'ar',
    ]);
    // The logo must sit in the middle of the window.
    const box = await splash.getByRole('img').boundingBox();
    const viewport = page.viewportSize();
    expect(box && viewport).toBeTruthy();
    if (box && viewport) {
      expect(Math.abs(box.x + box.width / 2 - viewport.width / 2)).toBeLessThan(2);
      expect(Math.abs(box.y + box.height / 2 - viewport.height / 2)).toBeLessThan(2);
    }
    expect(problems).toEqual([]);
    await page.close();
  });
});
