import type { Page, Route } from 'playwright-core';
import { afterAll, afterEach, beforeAll, beforeEach, describe, expect, it } from 'vitest';
import { launchChromium } from './harness/chromium.mjs';
import { startServeHost, type ServeHost } from './harness/serve-host.mjs';
import { startServer, type TestServer } from './harness/server.mjs';

// Sign-in, session and shell against the real reference server and the real
// host (serve mode). The page runs in English so the assertions read plainly.

let server: TestServer;
let browser: Awaited<ReturnType<typeof launchChromium>>;
let host: ServeHost;
let page: Page;

beforeAll(async () => {
  server = await startServer();
  browser = await launchChromium();
});

afterAll(async () => {
  await browser?.close();
  await server?.stop();
});

beforeEach(async () => {
  host = await startServeHost();
  page = await browser.context.newPage();
  page.on('dialog', (dialog) => void dialog.accept());
  await page.goto(host.url);
  await page.getByTestId('login').waitFor();
  await page.getByTestId('language').click();
});

afterEach(async () => {
  await page.close();
  await host.stop();
});

async function signIn(email: string, password: string) {
  await page.getByTestId('server').fill(server.url);
  await page.getByTestId('email').fill(email);
  await page.getByTestId('password').fill(password);
  await page.getByTestId('login').click();
}

const lastCode = async (email: string) =>
  String(((await server.admin('mail', '--email', email)).mail as { code?: string } | undefined)?.code ?? '');
const tabs = () => page.locator('[data-testid^="tab-"]').evaluateAll((els) => els.map((e) => e.dataset.testid));

describe('signing in', () => {
  it('takes the demo owner to the dashboard with the tab bar, and back after a restart', async () => {
    await signIn('owner@demo.test', 'demo-owner-1');
    await page.getByTestId('top-bar').waitFor();
    expect(await tabs()).toContain('tab-dashboard');
    expect(await page.getByTestId('tab-dashboard').getAttribute('aria-current')).toBe('page');
    await page.reload();
    await page.getByTestId('top-bar').waitFor();
    expect(await page.getByTestId('login').count()).toBe(0);
  });

  it('gives a cashier the till only, without the tab bar or the search', async () => {
    await signIn('cashier@demo.test', 'demo-cashier-1');
    await page.getByTestId('top-bar').waitFor();
    expect(await tabs()).toEqual([]);
    expect(await page.getByTestId('palette-open').count()).toBe(0);
    expect(await page.getByTestId('till-chat').count()).toBe(1);
    await page.locator('[data-screen="till"]').waitFor();
  });

  it("shows the server's message for a wrong password and keeps the e-mail", async () => {
    await signIn('owner@demo.test', 'not-the-password');
    const error = page.getByTestId('login-error');
    await error.waitFor();
    expect((await error.textContent())?.trim()).not.toBe('');
    expect(await page.getByTestId('email').inputValue()).toBe('owner@demo.test');
  });

  it('asks for the e-mailed second factor', async () => {
    await server.admin('create-user', '--email', 'otp@demo.test', '--password', 'pass-otp-1', '--name', 'Otp', '--company', '1', '--otp');
    await signIn('otp@demo.test', 'pass-otp-1');
    await page.getByTestId('otp').waitFor();
    await page.getByTestId('otp').fill(await lastCode('otp@demo.test'));
    await page.getByTestId('otp-submit').click();
    await page.getByTestId('top-bar').waitFor();
  });

  it('resets a forgotten password with the e-mailed code and signs in', async () => {
    await server.admin('create-user', '--email', 'forgot@demo.test', '--password', 'old-pass-1', '--name', 'Forgot', '--company', '1');
    await page.getByTestId('forgot-link').click();
    await page.getByTestId('forgot-form').locator('input[type="url"]').fill(server.url);
    await page.getByTestId('forgot-email').fill('forgot@demo.test');
    await page.getByTestId('forgot-send').click();
    await page.getByTestId('reset-form').waitFor();
    await page.getByTestId('reset-code').fill(await lastCode('forgot@demo.test'));
    await page.getByTestId('reset-password').fill('new-pass-22');
    await page.getByTestId('reset-submit').click();
    await page.getByTestId('top-bar').waitFor();
  });

  it('shows a suspended account its own card', async () => {
    await server.admin('create-user', '--email', 'held@demo.test', '--password', 'held-pass-1', '--name', 'Held', '--company', '1');
    await server.admin('suspend', '--email', 'held@demo.test', '--message', 'Unpaid subscription.');
    await signIn('held@demo.test', 'held-pass-1');
    await page.getByTestId('account-suspended').waitFor();
    expect(await page.getByTestId('suspension-reason').textContent()).toBe('Unpaid subscription.');
  });
});

describe('a running session', () => {
  beforeEach(async () => {
    await signIn('owner@demo.test', 'demo-owner-1');
    await page.getByTestId('top-bar').waitFor();
  });

  it('shows the maintenance screen while the platform is under maintenance', async () => {
    await server.admin('maintenance', 'on', '--message', 'Back at noon.');
    try {
      await page.reload();
      await page.getByTestId('maintenance-screen').waitFor();
      expect(await page.getByTestId('maintenance-message').textContent()).toContain('Back at noon.');
    } finally {
      await server.admin('maintenance', 'off');
    }
    await page.getByTestId('maintenance-retry').click();
    await page.getByTestId('top-bar').waitFor();
  });

  it('gives the window to the mandatory update when the server refuses this version, also after a restart', async () => {
    await server.admin('set-version', '--min', '1.44.0');
    try {
      await page.reload();
      await page.getByTestId('force-update').waitFor();
      expect(await page.getByTestId('required-version').textContent()).toBe('1.43.0 → 1.44.0');
    } finally {
      await server.admin('set-version', '--min', '1.0.0');
    }
    await page.reload();
    await page.getByTestId('force-update').waitFor();
  });

  it('lands on the sign-in screen, saying why, when the server revokes the session', async () => {
    await server.admin('revoke-session', '--email', 'owner@demo.test', '--all');
    await page.evaluate(() => window.dispatchEvent(new Event('access-check')));
    await page.getByTestId('access-revoked').waitFor();
    expect(await page.getByTestId('access-revoked').textContent()).toMatch(/signed out/i);
  });

  it('refuses a company switch while a change waits to be sent', async () => {
    await page.evaluate(() =>
      window.__tovik?.invoke('db_execute', {
        sql: "INSERT INTO outbox (op_id, entity, action, uuid, client_updated_at) VALUES ('op-1', 'client', 'upsert', 'c-1', '2026-12-10T00:00:00Z')",
        params: [],
      }),
    );
    await page.getByTestId('company-switch').selectOption({ index: 1 });
    await page.getByTestId('toast').filter({ hasText: 'still waiting to be sent' }).waitFor();
    expect(await page.getByTestId('company-switch').inputValue()).toBe('1');
  });

  it('finds a local client with Ctrl+K', async () => {
    await page.evaluate(() =>
      window.__tovik?.invoke('db_execute', {
        sql: "INSERT INTO clients (uuid, name, phone, local_updated_at) VALUES ('c-9', 'Salem Trading', '0912345678', '2026-12-10T00:00:00Z')",
        params: [],
      }),
    );
    await page.keyboard.press('Control+k');
    await page.getByTestId('palette-input').fill('salem');
    const hit = page.getByTestId('palette-hit').filter({ hasText: 'Salem Trading' });
    await hit.waitFor();
    await page.keyboard.press('Enter');
    await page.getByTestId('palette').waitFor({ state: 'detached' });
  });
});

// One user's session never reaches into the next: late replies, wipes, a
// stored company, a company switch during a pull, and a server that stalls
// or cannot be reached.

const OWNER = ['owner@demo.test', 'demo-owner-1'] as const;
const CASHIER = ['cashier@demo.test', 'demo-cashier-1'] as const;
// The demo's second company, which the owner belongs to and the cashier does not.
const CAFE_PRODUCTS = ['قهوة إسبريسو', 'Cappuccino', 'شاي بالنعناع', 'Croissant'];

async function signInAs([email, password]: readonly [string, string]) {
  await signIn(email, password);
  await page.getByTestId('top-bar').waitFor();
}

async function signOutHere() {
  await page.getByTestId('account-menu').click();
  await page.getByTestId('account-signout').click();
  await page.getByTestId('login').waitFor();
}

const select = <T = Record<string, unknown>>(sql: string, params: unknown[] = []) =>
  page.evaluate(
    async ({ sql, params }) => (await window.__tovikStorage!.openLocalDb()).select(sql, params as never[]),
    { sql, params },
  ) as Promise<T[]>;

const execute = (sql: string, params: unknown[] = []) =>
  page.evaluate(
    async ({ sql, params }) => void (await (await window.__tovikStorage!.openLocalDb()).execute(sql, params as never[])),
    { sql, params },
  );

const count = async (table: string) => (await select<{ n: number }>(`SELECT COUNT(*) AS n FROM ${table}`))[0]?.n ?? 0;

// A page-side wait would take the predicate's promise itself for a yes: poll from here.
const SYNC_WAIT = { timeout: 30_000, interval: 250 };

const meta = async (key: string) =>
  (await select<{ value: string }>('SELECT value FROM meta WHERE key = ?', [key]))[0]?.value ?? null;

/** Holds the first request to `path`; the rest go through. */
async function holdFirst(path: string): Promise<{ held: Promise<Route> }> {
  let grab!: (route: Route) => void;
  const held = new Promise<Route>((resolve) => (grab = resolve));
  let first = true;
  await page.route(`${server.url}/mobile/v2${path}`, async (route) => {
    if (first) {
      first = false;
      grab(route);
    } else await route.continue();
  });
  return { held };
}

/** Lets the page's pending work run out; what must not happen has had its chance. */
const quietMoment = () => page.waitForTimeout(750);

describe('signing out and in as another user', () => {
  it("drops the owner's late 401 instead of signing the cashier out", async () => {
    await signInAs(OWNER);
    const { held } = await holdFirst('/session/status**');
    await page.evaluate(() => window.dispatchEvent(new Event('access-check')));
    const check = await held;
    await signOutHere();
    await signInAs(CASHIER);
    const answered = page.waitForResponse((r) => r.request() === check.request());
    await check.continue();
    // The owner's token was signed out: the server refuses it.
    expect((await answered).status()).toBe(401);
    await quietMoment();
    expect(await page.getByTestId('login').count()).toBe(0);
    expect(await page.getByTestId('top-bar').count()).toBe(1);
  });

  it('leaves no refunds, held carts or kiosk mode of the owner behind', async () => {
    await signInAs(OWNER);
    await execute(
      "INSERT INTO pos_refunds (uuid, invoice_uuid, method, amount, created_at) VALUES ('r-1', 'i-1', 'cash', 5, '2026-12-10T00:00:00Z')",
    );
    await execute("INSERT OR REPLACE INTO meta (key, value) VALUES ('pos_held', '[{}]'), ('kiosk_active', '1')");
    await signOutHere();
    expect(await select('SELECT COUNT(*) AS n FROM pos_refunds')).toEqual([{ n: 0 }]);
    expect([await meta('pos_held'), await meta('kiosk_active')]).toEqual([null, null]);
  });

  it("replaces a kept company the next user does not belong to with that user's own", async () => {
    await signInAs(OWNER);
    const reloaded = page.waitForEvent('load');
    await page.getByTestId('company-switch').selectOption({ index: 1 });
    await reloaded;
    await page.getByTestId('top-bar').waitFor();
    const cafe = await meta('company_id');
    expect(cafe).not.toBe('1');
    await server.admin('revoke-session', '--email', 'owner@demo.test', '--all');
    await page.evaluate(() => window.dispatchEvent(new Event('access-check')));
    await page.getByTestId('access-revoked').waitFor();
    expect(await meta('company_id')).toBe(cafe);

    await signInAs(CASHIER);
    expect(await meta('company_id')).toBe('1');
    // Calls go through again: the store's products arrive.
    await expect.poll(() => count('products'), SYNC_WAIT).toBeGreaterThan(0);
  });
});

describe('a company switch while a pull is under way', () => {
  it("lets the old company's page write nothing after the wipe", async () => {
    const { held } = await holdFirst('/sync/pull**');
    await signInAs(OWNER);
    const page1 = await held;
    const reloaded = page.waitForEvent('load');
    await page.getByTestId('company-switch').selectOption({ index: 1 });
    // Release the store's page once the switch has gone as far as it can
    // without it (the profile request), or after a moment when it waits for it.
    await Promise.race([
      page.waitForRequest((r) => r.url().endsWith('/mobile/v2/me')),
      page.waitForTimeout(1500),
    ]);
    await page1.continue();
    await reloaded;
    await page.getByTestId('top-bar').waitFor();
    // The new company's first run has ended.
    await expect.poll(() => meta('last_sync_at'), SYNC_WAIT).not.toBeNull();
    const names = (await select<{ name: string }>('SELECT name FROM products ORDER BY name')).map((r) => r.name);
    expect(names.sort()).toEqual([...CAFE_PRODUCTS].sort());
    expect(await count('clients')).toBe(0);
  });
});

describe('a server that stalls or cannot be reached', () => {
  it('opens the signed-in window while the server accepts and never answers', async () => {
    await signInAs(OWNER);
    await page.route(`${server.url}/**`, () => {
      // Never answered.
    });
    await page.reload();
    await page.getByTestId('top-bar').waitFor();
    expect(await page.getByTestId('login').count()).toBe(0);
  });

  it("keeps the password and says it cannot reach the server, in the user's language", async () => {
    await page.route(`${server.url}/mobile/v2/login`, (route) => route.abort('connectionrefused'));
    await page.getByTestId('server').fill(server.url);
    await page.getByTestId('email').fill(OWNER[0]);
    await page.getByTestId('password').fill(OWNER[1]);
    await page.getByTestId('login').click();
    const error = page.getByTestId('login-error');
    await error.filter({ hasText: 'Cannot reach the server' }).waitFor();
    expect(await page.getByTestId('password').inputValue()).toBe(OWNER[1]);
    await page.getByTestId('language').click();
    await page.getByTestId('login').click();
    await error.filter({ hasText: 'تعذّر الوصول إلى الخادم' }).waitFor();
    expect(await page.getByTestId('password').inputValue()).toBe(OWNER[1]);
  });
});
