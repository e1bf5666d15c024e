import { readFile } from 'node:fs/promises';
import path from 'node:path';
import { afterAll, beforeAll, describe, expect, it } from 'vitest';
import type { Page } from 'playwright-core';
import type { TestHook } from '../client/bridge';
import { launchChromium } from './harness/chromium.mjs';
import { startServeHost, type ServeHost } from './harness/serve-host.mjs';

// The real bridge module, driven from the page through its serve-mode hook.

let host: ServeHost;
let browser: Awaited<ReturnType<typeof launchChromium>>;
let page: Page;

const arabic = 'رمز الدخول: مرحبا بالعالم ١٢٣';

type Step = [name: keyof TestHook, ...args: unknown[]];
type Outcome = { resolved: unknown } | { rejected: unknown };

/** Runs each step through the page's hook and records how each one settled. */
function inPage(...steps: Step[]): Promise<Outcome[]> {
  return page.evaluate(async (steps) => {
    const tovik = window.__tovik;
    if (!tovik) throw new Error('the page did not expose its bridge');
    const outcomes: Outcome[] = [];
    for (const [name, ...args] of steps) {
      const fn = tovik[name] as (...a: unknown[]) => Promise<unknown>;
      try {
        outcomes.push({ resolved: await fn(...args) });
      } catch (error) {
        outcomes.push({ rejected: error });
      }
    }
    return outcomes;
  }, steps);
}

beforeAll(async () => {
  host = await startServeHost();
  browser = await launchChromium();
  page = await browser.context.newPage();
  await page.goto(host.url);
  await page.getByTestId('splash').waitFor();
});

afterAll(async () => {
  await browser?.close();
  await host?.stop();
});

describe('the command bridge from the page', () => {
  it('opens the database, writes with parameters and reads rows back', async () => {
    const insert = 'INSERT INTO items (name, price, active, tags, note) VALUES (?, ?, ?, ?, ?)';
    const outcomes = await inPage(
      ['invoke', 'db_open'],
      ['invoke', 'db_open'],
      [
        'invoke',
        'db_execute',
        {
          sql: 'CREATE TABLE items (id INTEGER PRIMARY KEY, name TEXT, price REAL, active INTEGER, tags TEXT, note TEXT)',
          params: [],
        },
      ],
      ['invoke', 'db_execute', { sql: insert, params: ['قهوة عربية', 2.5, true, ['a', 'b'], null] }],
      ['invoke', 'db_execute', { sql: insert, params: ['tea', 1, false, { k: 1 }, 'x'] }],
      ['invoke', 'db_select', { sql: 'SELECT * FROM items WHERE price >= ? ORDER BY id', params: [0] }],
    );

    expect(outcomes.slice(0, 5)).toEqual(Array(5).fill({ resolved: null }));
    const rows = [
      { active: 1, id: 1, name: 'قهوة عربية', note: null, price: 2.5, tags: '["a","b"]' },
      { active: 0, id: 2, name: 'tea', note: 'x', price: 1, tags: '{"k":1}' },
    ];
    expect(outcomes[5]).toEqual({ resolved: rows });
    // Keys arrive in byte order, as the host builds them.
    const first = (outcomes[5] as { resolved: Record<string, unknown>[] }).resolved[0]!;
    expect(Object.keys(first)).toEqual(['active', 'id', 'name', 'note', 'price', 'tags']);
  });

  it('keeps the database file encrypted on disk', async () => {
    const header = (await readFile(path.join(host.dataDir, 'quillarex.db'))).subarray(0, 16);
    expect(header.length).toBe(16);
    expect(header.equals(Buffer.from('SQLite format 3\0', 'latin1'))).toBe(false);
  });

  it('rejects with the plain message string', async () => {
    const outcomes = await inPage(
      ['invoke', 'db_select', { sql: 'SELECT 1' }],
      ['invoke', 'db_select', { sql: 'SELECT * FROM nowhere', params: [] }],
      ['invoke', 'no_such_command', {}],
    );
    expect(outcomes.slice(0, 2)).toEqual([
      { rejected: 'command db_select missing required key params' },
      { rejected: 'no such table: nowhere' },
    ]);
    expect(outcomes[2]).toEqual({ rejected: expect.stringContaining('no_such_command') });
  });

  it('round-trips an Arabic secret and deletes it', async () => {
    const outcomes = await inPage(
      ['writeSecret', 'token', 'first'],
      ['writeSecret', 'token', arabic],
      ['readSecret', 'token'],
      ['writeSecret', 'token', null],
      ['writeSecret', 'token', null],
      ['readSecret', 'token'],
    );
    expect(outcomes.map((o) => ('resolved' in o ? o.resolved : o))).toEqual([
      undefined,
      undefined,
      arabic,
      undefined,
      undefined,
      null,
    ]);
  });

  it('still reaches the host after a reload without the token in the address', async () => {
    await page.goto(`${host.origin}/`);
    await page.getByTestId('splash').waitFor();
    expect(await inPage(['invoke', 'secret_get', { key: 'never-written' }])).toEqual([{ resolved: null }]);
  });
});
