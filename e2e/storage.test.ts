import http from 'node:http';
import { afterAll, beforeAll, describe, expect, it } from 'vitest';
import type { Row } from '../client/bridge/commands';
import type { StorageBackend } from '../client/storage/backend';
import { connectLocalDb } from '../client/storage/local-db';
import { catalogue } from '../client/app/features';
import { SCHEMA_VERSION } from '../client/storage';
import { NAMED_INDEXES, schemaCases, schemaFacts } from '../client/storage/testing';
import { launchChromium } from './harness/chromium.mjs';
import { ipc } from './harness/http.mjs';
import { startServeHost, type ServeHost } from './harness/serve-host.mjs';

// The migration runner relies on the host's messages ("duplicate column"),
// so the schema cases run here over the real encrypted database too.

let host: ServeHost;
const agent = new http.Agent({ keepAlive: true, maxSockets: 1 });

function hostBackend(target: ServeHost): StorageBackend {
  const call = async (cmd: 'db_execute' | 'db_select', sql: string, params: unknown[]) => {
    const reply = await ipc(target.origin, target.token, cmd, { sql, params }, agent);
    const body: unknown = JSON.parse(reply.body);
    // Failures come back as the host's message string, as the page sees them.
    if (reply.status !== 200) throw body;
    return body;
  };
  return {
    async run(sql, params) {
      await call('db_execute', sql, params);
    },
    query: async (sql, params) => (await call('db_select', sql, params)) as Row[],
  };
}

beforeAll(async () => {
  host = await startServeHost();
  const opened = await ipc(host.origin, host.token, 'db_open', {}, agent);
  expect(opened.status).toBe(200);
});

afterAll(async () => {
  agent.destroy();
  await host?.stop();
});

describe('schema and migrations over the host', () => {
  // One database per host: each case starts by dropping every table.
  schemaCases(async () => {
    const db = connectLocalDb(hostBackend(host));
    const tables = await db.select<{ name: string }>(
      "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'",
    );
    for (const { name } of tables) await db.execute(`DROP TABLE "${name}"`);
    return db;
  }, catalogue);
});

describe('the page at start-up', () => {
  it('has opened the database and built the schema once it shows', async () => {
    const fresh = await startServeHost();
    const browser = await launchChromium();
    try {
      const page = await browser.context.newPage();
      await page.goto(fresh.url);
      // Without a session the boot ends on the sign-in screen.
      await page.getByTestId('login').waitFor();
      const facts = await schemaFacts(connectLocalDb(hostBackend(fresh)));
      expect([facts.version, facts.tables.length, facts.indexes.length]).toEqual([
        String(SCHEMA_VERSION),
        catalogue.tables.length,
        NAMED_INDEXES.length,
      ]);
    } finally {
      await browser.close();
      await fresh.stop();
    }
  });
});
