import { createServer } from 'node:net';

// Puts a signed-in session into a served page's host, the way a restart finds
// one: the "token" secret and the stored profile. The page reloads into it.

/** A profile of an owner who may use the offline client. */
export const OWNER_PROFILE = {
  id: 1,
  company_id: 1,
  name: 'Test Owner',
  email: 'owner@example.invalid',
  role: 'owner',
  abilities: ['sync'],
  features: { cashier: false },
  tenant: { id: 1, company_name: 'Test Store' },
  companies: [{ id: 1, name: 'Test Store', tenant_id: 1 }],
};

/**
 * @param {import('playwright-core').Page} page a page of the served client, signed out
 * @param {{ profile?: object, serverUrl?: string }} [options] serverUrl: where the client
 *   looks for its server; by default a closed loopback port, so nothing answers.
 */
export async function seedSession(page, { profile = OWNER_PROFILE, serverUrl } = {}) {
  serverUrl ??= `http://127.0.0.1:${await closedPort()}`;
  // The boot has built the schema once the sign-in screen shows.
  await page.getByTestId('login').waitFor();
  await page.evaluate(
    async ({ profile, serverUrl }) => {
      const hook = /** @type {any} */ (window).__tovik;
      await hook.invoke('db_open', {});
      await hook.invoke('secret_set', { key: 'token', value: 'seeded-token' });
      await hook.invoke('db_execute', {
        sql: "INSERT OR REPLACE INTO meta (key, value) VALUES ('profile', ?), ('server_url', ?)",
        params: [JSON.stringify(profile), serverUrl],
      });
    },
    { profile, serverUrl },
  );
  await page.reload();
}

/** A loopback port that was free a moment ago and that nobody listens on. */
function closedPort() {
  return new Promise((resolve, reject) => {
    const probe = createServer();
    probe.once('error', reject);
    probe.listen(0, '127.0.0.1', () => {
      const address = probe.address();
      const port = typeof address === 'object' && address ? address.port : 0;
      probe.close(() => resolve(port));
    });
  });
}

/**
 * Signs in through the sign-in screen of a freshly served page, as a user
 * would, and waits for the screen the account lands on.
 * @param {import('playwright-core').Page} page
 * @param {{ hostUrl: string, serverUrl: string, email: string, password: string, landing?: string }} options
 */
export async function signInThroughScreen(page, { hostUrl, serverUrl, email, password, landing = '[data-screen="till"]' }) {
  await page.goto(hostUrl);
  await page.getByTestId('server').fill(serverUrl);
  await page.getByTestId('email').fill(email);
  await page.getByTestId('password').fill(password);
  await page.getByTestId('login').click();
  await page.locator(landing).waitFor({ timeout: 30_000 });
}

/**
 * Runs a query on the page's local database.
 * @param {import('playwright-core').Page} page
 * @param {string} sql
 * @param {unknown[]} [params]
 * @returns {Promise<Record<string, unknown>[]>}
 */
export function localSelect(page, sql, params = []) {
  return page.evaluate(
    async ({ sql, params }) => (await /** @type {any} */ (window).__tovikStorage.openLocalDb()).select(sql, params),
    { sql, params },
  );
}
