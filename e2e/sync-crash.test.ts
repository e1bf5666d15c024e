import { mkdtemp, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import path from 'node:path';
import type { Page } from 'playwright-core';
import { afterAll, beforeAll, expect, it } from 'vitest';
import { launchChromium } from './harness/chromium.mjs';
import { startServeHost, type ServeHost } from './harness/serve-host.mjs';
import { startServer, type TestServer } from './harness/server.mjs';

// The product's promise: a device killed at any moment while it syncs loses
// nothing it queued and gets nothing applied twice. The host is killed with
// SIGKILL during pushes and during a large first pull, restarted on the same
// data folder, and the page reloaded against it, as a restart of the desktop
// program would do. Sizes come from the environment for the longer variant.

// Each round of work: operations this device queues, records another device adds.
const OPS = Number(process.env.TOVIK_CRASH_OPS ?? 1000);
const RECORDS = Number(process.env.TOVIK_CRASH_RECORDS ?? 5000);
const KILLS = Number(process.env.TOVIK_CRASH_KILLS ?? 30);
const ADJUSTMENTS = Math.floor(OPS / 4);

let server: TestServer;
let browser: Awaited<ReturnType<typeof launchChromium>>;
let dataDir: string;
let host: ServeHost | null = null;
let page: Page;
let token: string;

async function api(pathAndQuery: string, body?: unknown): Promise<Record<string, unknown>> {
  const reply = await fetch(`${server.url}/mobile/v2${pathAndQuery}`, {
    method: body === undefined ? 'GET' : 'POST',
    headers: { 'Content-Type': 'application/json', Accept: 'application/json', Authorization: `Bearer ${token}` },
    body: body === undefined ? undefined : JSON.stringify(body),
  });
  if (!reply.ok) throw new Error(`${pathAndQuery}: HTTP ${reply.status} ${await reply.text()}`);
  return (await reply.json()) as Record<string, unknown>;
}

/** The server's current records of one entity, by uuid, read from the start. */
async function serverRecords(entity: string): Promise<Map<string, Record<string, unknown>>> {
  const records = new Map<string, Record<string, unknown>>();
  let cursor: string | null = null;
  for (;;) {
    const query = new URLSearchParams({ limit: '1000', entities: entity });
    if (cursor) query.set('cursor', cursor);
    const page = await api(`/sync/pull?${query.toString()}`);
    for (const record of ((page.changes as Record<string, Record<string, unknown>[]>)[entity] ?? []))
      records.set(String(record.uuid), record);
    for (const gone of page.deleted as { uuid: string }[]) records.delete(gone.uuid);
    cursor = String(page.cursor);
    if (page.has_more !== true) return records;
  }
}

const select = (sql: string) =>
  page.evaluate(async (sql) => (await window.__tovikStorage!.openLocalDb()).select(sql), sql);
const count = async (sql: string) => Number(((await select(sql))[0] as { n: number }).n);

/** Starts the host on the kept data folder and loads the client into it. */
async function boot(): Promise<void> {
  host = await startServeHost({ dataDir });
  await page.goto(host.url);
}

beforeAll(async () => {
  server = await startServer();
  browser = await launchChromium();
  dataDir = await mkdtemp(path.join(tmpdir(), 'tovik-crash-'));
  page = await browser.context.newPage();
  const login = await fetch(`${server.url}/mobile/v2/login`, {
    method: 'POST',
    headers: { 'Content-Type': 'application/json', Accept: 'application/json' },
    body: JSON.stringify({ email: 'owner@demo.test', password: 'demo-owner-1', device_name: 'seeder' }),
  });
  token = String(((await login.json()) as { token: string }).token);
}, 60_000);

afterAll(async () => {
  await page?.close();
  await host?.stop();
  await browser?.close();
  await server?.stop();
  if (dataDir) await rm(dataDir, { recursive: true, force: true });
});

/** Another device's work: records the next pulls bring down. */
async function seedServer(records: number, round: number): Promise<void> {
  const stamp = new Date().toISOString();
  for (let start = 0; start < records; start += 1000) {
    const operations = Array.from({ length: Math.min(1000, records - start) }, (_, i) => ({
      op_id: crypto.randomUUID(),
      entity: 'client',
      action: 'upsert',
      uuid: crypto.randomUUID(),
      base_version: null,
      client_updated_at: stamp,
      data: { name: `Seeded ${round}.${start + i}`, phone: `09${start + i}` },
    }));
    await api('/sync/push', { device_id: 'seeder', device_time: stamp, operations });
  }
}

/**
 * This device's own work: new clients and stock adjustments of one product,
 * written as `save` writes them (row and operation together), many to a
 * statement: a save at a time through the host would take most of the test.
 * Returns the new clients' uuids.
 */
function queueLocal(ops: number, adjustments: number, productUuid: string): Promise<string[]> {
  return page.evaluate(
    async ({ ops, adjustments, productUuid }) => {
      const db = await window.__tovikStorage!.openLocalDb();
      const now = new Date().toISOString();
      const clients = Array.from({ length: ops - adjustments }, (_, i) => ({ uuid: crypto.randomUUID(), name: `Queued ${i}` }));
      const holes = (n: number, width: number) => Array.from({ length: n }, () => `(${Array(width).fill('?').join(', ')})`).join(', ');
      await db.transaction(async () => {
        for (let i = 0; i < clients.length; i += 100) {
          const part = clients.slice(i, i + 100);
          await db.execute(
            `INSERT INTO clients (uuid, name, dirty, deleted, local_updated_at) VALUES ${holes(part.length, 5)}`,
            part.flatMap((c) => [c.uuid, c.name, 1, 0, now]) as never[],
          );
          await db.execute(
            `INSERT INTO outbox (op_id, entity, action, uuid, client_updated_at, data_json) VALUES ${holes(part.length, 6)}`,
            part.flatMap((c) => [crypto.randomUUID(), 'client', 'upsert', c.uuid, now, JSON.stringify({ name: c.name })]) as never[],
          );
        }
        for (let i = 0; i < adjustments; i += 100) {
          const part = Array.from({ length: Math.min(100, adjustments - i) }, () => crypto.randomUUID());
          const data = { product_uuid: productUuid, delta: 1, reason: 'restock' };
          await db.execute(
            `INSERT INTO stock_adjustments (uuid, product_uuid, delta, reason, dirty, deleted, local_updated_at) VALUES ${holes(part.length, 7)}`,
            part.flatMap((uuid) => [uuid, productUuid, 1, 'restock', 1, 0, now]) as never[],
          );
          await db.execute(
            `INSERT INTO outbox (op_id, entity, action, uuid, client_updated_at, data_json) VALUES ${holes(part.length, 6)}`,
            part.flatMap((uuid) => [crypto.randomUUID(), 'stock_adjustment', 'upsert', uuid, now, JSON.stringify(data)]) as never[],
          );
        }
      });
      return clients.map((c) => c.uuid);
    },
    { ops, adjustments, productUuid },
  );
}

it(`loses nothing and applies nothing twice across ${KILLS} kills`, async () => {
  const demoClients = (await serverRecords('client')).size;
  const stamp = new Date().toISOString();
  const productUuid = crypto.randomUUID();
  await api('/sync/push', {
    device_id: 'seeder',
    device_time: stamp,
    operations: [{ op_id: crypto.randomUUID(), entity: 'product', action: 'upsert', uuid: productUuid, base_version: null,
      client_updated_at: stamp, data: { name: 'Counted', price: 1, stock: 0, type: 'product' } }],
  });
  let seeded = 0;
  let adjusted = 0;
  const queued: string[] = [];
  const addWork = async () => {
    await seedServer(RECORDS, seeded / RECORDS);
    seeded += RECORDS;
    queued.push(...(await queueLocal(OPS, ADJUSTMENTS, productUuid)));
    adjusted += ADJUSTMENTS;
  };
  // Work is left while anything waits to go up or the server has clients this device lacks.
  const workLeft = async () =>
    (await count('SELECT COUNT(*) AS n FROM outbox')) > 0 ||
    (await count('SELECT COUNT(*) AS n FROM clients')) < demoClients + seeded + queued.length;

  // The device queues its first work while signed out (the engine waits), then signs in.
  await boot();
  await page.getByTestId('login').waitFor();
  await addWork();
  expect(await count('SELECT COUNT(*) AS n FROM outbox')).toBe(OPS);
  await page.getByTestId('server').fill(server.url);
  await page.getByTestId('email').fill('owner@demo.test');
  await page.getByTestId('password').fill('demo-owner-1');
  await page.getByTestId('login').click();
  await page.getByTestId('top-bar').waitFor();

  // Kill it at random moments while it pushes and pulls; it resumes on each
  // start. Sync is quick, so once a round of work is done another is queued:
  // every kill finds work under way.
  for (let kill = 0; kill < KILLS; kill++) {
    if (!(await workLeft())) await addWork();
    await host!.crash();
    await boot();
    await page.getByTestId('top-bar').waitFor();
    await page.waitForTimeout(50 + Math.random() * 1000);
  }
  await host!.crash();
  await boot();
  await page.getByTestId('top-bar').waitFor();

  // Then let it finish.
  for (let round = 0; round < 30; round++) {
    await page.evaluate(async () => {
      const engine = window.__tovikSync!.engine() as { sync(force: boolean): Promise<void> };
      await engine.sync(true);
      await engine.sync(true);
    });
    const lastError = await page.evaluate(() => (window.__tovikSync!.engine() as { lastError: string | null }).lastError);
    if (lastError === null && (await count('SELECT COUNT(*) AS n FROM outbox')) === 0) break;
    await page.waitForTimeout(500);
  }

  console.log(`${KILLS} kills over ${seeded / RECORDS} rounds: ${seeded} records to pull, ${queued.length + adjusted} operations to push`);
  expect(await count('SELECT COUNT(*) AS n FROM outbox')).toBe(0);
  expect(await select('SELECT reason, detail_json FROM dead_letter')).toEqual([]);

  const clients = await serverRecords('client');
  expect(queued.filter((uuid) => !clients.has(uuid))).toEqual([]);
  expect(clients.size).toBe(demoClients + seeded + queued.length);
  const products = await serverRecords('product');
  // Each adjustment adds one: a second application would show here.
  expect(products.get(productUuid)?.stock).toBe(adjusted);

  // The local tables hold exactly the server's records, at the server's versions.
  for (const [table, records] of [['clients', clients], ['products', products]] as const) {
    const local = (await select(`SELECT uuid, version, dirty FROM ${table}`)) as { uuid: string; version: string; dirty: number }[];
    expect(local.length).toBe(records.size);
    expect(local.filter((row) => row.dirty !== 0 || String(records.get(row.uuid)?.version) !== row.version)).toEqual([]);
  }
}, 600_000);

declare global {
  interface Window {
    __tovikSync?: { engine: () => unknown; [key: string]: unknown };
  }
}
