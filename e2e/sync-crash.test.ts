import { spawn, type ChildProcess } from 'node:child_process';
import { mkdtemp, rm } from 'node:fs/promises';
import { createServer, type IncomingMessage, type Server } from 'node:http';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { createInterface } from 'node:readline';
import type { Page } from 'playwright-core';
import { afterAll, beforeAll, expect, it } from 'vitest';
import { launchChromium } from './harness/chromium.mjs';
import { startServeHost, type ServeHost } from './harness/serve-host.mjs';
import { SERVER_BINARY } from './harness/server.mjs';

// The product's promise: a device killed at any moment while it syncs loses
// nothing it queued and gets nothing applied twice, and neither does a server
// killed in the middle of a push. The host is killed with SIGKILL during
// pushes and pulls, restarted on the same data folder, and the page reloaded
// against it, as a restart of the desktop program would do; the server is
// killed with SIGKILL and restarted on the same store. The device reaches the
// server through a loopback relay that sees every push, so resent operations
// and the server's replays can be counted. Sizes come from the environment for
// the longer variant.

// Each round of work: operations this device queues in bulk, records another
// device adds. Sized for CI on two cores; bench/sync/crash-long.sh runs it large.
const OPS = Number(process.env.TOVIK_CRASH_OPS ?? 400);
const RECORDS = Number(process.env.TOVIK_CRASH_RECORDS ?? 1000);
const KILLS = Number(process.env.TOVIK_CRASH_KILLS ?? 12);
const SERVER_KILLS = Number(process.env.TOVIK_CRASH_SERVER_KILLS ?? 30);
const ADJUSTMENTS = Math.floor(OPS / 4);

/** The reference server on one store, which survives SIGKILL and restarts. */
class KillableServer {
  url = '';
  private child: ChildProcess | null = null;
  constructor(private readonly store: string) {}

  async start(): Promise<void> {
    const child = spawn(
      SERVER_BINARY,
      ['--listen', '127.0.0.1:0', '--db', `sqlite:${this.store}`, '--seed', 'demo', '--fast-password-hash'],
      { stdio: ['ignore', 'pipe', 'ignore'] },
    );
    this.child = child;
    this.url = await new Promise<string>((resolve, reject) => {
      const timer = setTimeout(() => reject(new Error('the server did not start')), 20_000);
      child.once('exit', (code) => reject(new Error(`the server exited with ${code}`)));
      createInterface({ input: child.stdout! }).on('line', (line) => {
        const match = /^listening (http:\/\/127\.0\.0\.1:\d+)$/.exec(line);
        if (match) {
          clearTimeout(timer);
          resolve(match[1]!);
        }
      });
    });
  }

  async kill(): Promise<void> {
    const child = this.child;
    this.child = null;
    if (!child || child.exitCode !== null || child.signalCode !== null) return;
    const gone = new Promise((resolve) => child.once('exit', resolve));
    child.kill('SIGKILL');
    await gone;
  }
}

/**
 * Forwards the device's requests to the server wherever it runs now; while it
 * is down the connection drops, as a network failure. Counts how often each
 * operation was sent, and how often one came again after the server had
 * already answered it (which the server then replays).
 */
class Relay {
  readonly sent = new Map<string, number>();
  readonly answered = new Set<string>();
  readonly history = new Map<string, string[]>();
  replays = 0;
  private server: Server | null = null;
  url = '';
  constructor(private readonly upstream: () => string) {}

  async start(): Promise<void> {
    this.server = createServer((req, res) => void this.forward(req, res));
    await new Promise<void>((resolve) => this.server!.listen(0, '127.0.0.1', resolve));
    const address = this.server.address();
    this.url = `http://127.0.0.1:${typeof address === 'object' && address ? address.port : 0}`;
  }

  stop(): Promise<void> {
    return new Promise((resolve) => (this.server ? this.server.close(() => resolve()) : resolve()));
  }

  private async forward(req: IncomingMessage, res: import('node:http').ServerResponse): Promise<void> {
    const chunks: Buffer[] = [];
    for await (const chunk of req) chunks.push(chunk as Buffer);
    const body = Buffer.concat(chunks);
    const ops: string[] = [];
    const byOp = new Map<string, string>();
    if (req.url?.endsWith('/sync/push') && req.method === 'POST') {
      try {
        for (const op of (JSON.parse(body.toString()) as { operations: { op_id: string; uuid: string; action: string; base_version: unknown; data?: object }[] }).operations) {
          byOp.set(op.op_id, op.uuid);
          const h = this.history.get(op.uuid) ?? [];
          h.push(`sent ${op.op_id} ${op.action} base ${String(op.base_version)} ${JSON.stringify(op.data ?? null)}`);
          this.history.set(op.uuid, h);
          ops.push(op.op_id);
          this.sent.set(op.op_id, (this.sent.get(op.op_id) ?? 0) + 1);
          if (this.answered.has(op.op_id)) this.replays++;
        }
      } catch {
        // Not a push the relay understands: forwarded as it is.
      }
    }
    const headers: Record<string, string> = {};
    for (const [key, value] of Object.entries(req.headers))
      if (typeof value === 'string' && !['host', 'connection', 'content-length'].includes(key)) headers[key] = value;
    try {
      const reply = await fetch(`${this.upstream()}${req.url}`, {
        method: req.method,
        headers,
        body: ['GET', 'HEAD', 'OPTIONS'].includes(req.method ?? 'GET') ? undefined : body,
      });
      const answer = Buffer.from(await reply.arrayBuffer());
      if (byOp.size) {
        try {
          const parsed = JSON.parse(answer.toString()) as { results?: { op_id: string; status: string; reason?: string; record?: { version?: unknown } }[] };
          for (const r of parsed.results ?? []) {
            const uuid = byOp.get(r.op_id);
            if (uuid) this.history.get(uuid)?.push(`answered ${r.op_id} ${r.status} ${r.reason ?? ''} version ${String(r.record?.version)}`);
          }
        } catch {
          for (const uuid of byOp.values()) this.history.get(uuid)?.push(`answered HTTP ${reply.status}`);
        }
      }
      if (reply.ok) for (const op of ops) this.answered.add(op);
      const out: Record<string, string> = {};
      reply.headers.forEach((value, key) => {
        if (!['connection', 'content-length', 'transfer-encoding', 'content-encoding'].includes(key)) out[key] = value;
      });
      res.writeHead(reply.status, out);
      res.end(answer);
    } catch {
      req.socket.destroy();
    }
  }
}

let server: KillableServer;
let relay: Relay;
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

let serverRoot: string;

beforeAll(async () => {
  serverRoot = await mkdtemp(path.join(tmpdir(), 'tovik-crash-server-'));
  server = new KillableServer(path.join(serverRoot, 'server.db'));
  await server.start();
  relay = new Relay(() => server.url);
  await relay.start();
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
  await relay?.stop();
  await server?.kill();
  for (const dir of [dataDir, serverRoot]) if (dir) await rm(dir, { recursive: true, force: true });
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
 * Their operations belong to nobody yet, as changes made while signed out:
 * the engine gives them to the account signed in, even in the middle of a
 * run, and the user's edits of these records must still go after them.
 * Returns the new clients' uuids.
 */
function queueLocal(ops: number, adjustments: number, productUuid: string): Promise<string[]> {
  return page.evaluate(
    async ({ ops, adjustments, productUuid }) => {
      const db = await window.__tovikStorage!.openLocalDb();
      const now = new Date().toISOString();
      const clients = Array.from({ length: ops - adjustments }, (_, i) => ({ uuid: crypto.randomUUID(), name: `Queued ${i}` }));
      const holes = (n: number, width: number) => Array.from({ length: n }, () => `(${Array(width).fill('?').join(', ')})`).join(', ');
      await db.transaction(async (db) => {
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

type Expected = Map<string, { name?: string; phone?: string; email?: string } | null>;
type Work = {
  created: { uuid: string; name: string }[];
  edited: { uuid: string; phone: string; email?: string }[];
  removed: string[];
  sold: number;
  adjusted: number;
};

/**
 * Work a user does while the engine syncs, through `save` and `remove`: new
 * clients (some edited again at once: a merge, some removed at once), edits
 * of synced and of recently queued clients (a second edit of some), deletions
 * of synced clients, till sales holding stock and stock adjustments.
 */
function userWork(productUuid: string, round: number): Promise<Work> {
  return page.evaluate(
    async ({ productUuid, round }) => {
      type Db = Awaited<ReturnType<NonNullable<typeof window.__tovikStorage>['openLocalDb']>>;
      type Engine = {
        save(entity: string, data: Record<string, unknown>, within?: (uuid: string, db: Db) => Promise<void>): Promise<string>;
        remove(entity: string, uuid: string): Promise<void>;
        nextOfflineReference(prefix?: string): Promise<string>;
      };
      const engine = window.__tovikSync!.engine() as Engine;
      const db = await window.__tovikStorage!.openLocalDb();
      const work: Work = { created: [], edited: [], removed: [], sold: 0, adjusted: 0 };
      const pick = async (sql: string) => (await db.select<{ uuid: string }>(sql)).map((r) => r.uuid);
      const synced = await pick(
        'SELECT uuid FROM clients WHERE deleted = 0 AND version IS NOT NULL ORDER BY random() LIMIT 12',
      );
      // Records whose upsert still waits; not those removed since (a screen never edits a removed record).
      const queued = await pick(
        "SELECT DISTINCT o.uuid FROM outbox o JOIN clients c ON c.uuid = o.uuid AND c.deleted = 0 " +
          "WHERE o.entity = 'client' AND o.action = 'upsert' ORDER BY random() LIMIT 6",
      );
      for (let i = 0; i < 10; i++) {
        const name = `Made ${round}.${i}`;
        const uuid = await engine.save('client', { name, phone: '0' });
        work.created.push({ uuid, name });
        if (i % 3 === 0) {
          await engine.save('client', { uuid, phone: `merged ${round}.${i}` });
          work.edited.push({ uuid, phone: `merged ${round}.${i}` });
        }
        if (i === 9) {
          await engine.remove('client', uuid);
          work.removed.push(uuid);
        }
      }
      for (const [i, uuid] of [...synced.slice(0, 8), ...queued].entries()) {
        const edit = { uuid, phone: `edit ${round}.${i}`, ...(i % 2 ? { email: `e${round}.${i}@x.test` } : {}) };
        await engine.save('client', { uuid, phone: edit.phone });
        if (edit.email) await engine.save('client', { uuid, email: edit.email });
        work.edited.push(edit);
      }
      for (const uuid of synced.slice(8)) {
        await engine.remove('client', uuid);
        work.removed.push(uuid);
      }
      for (let i = 0; i < 3; i++) {
        const items = [{ name: 'Counted', product_uuid: productUuid, quantity: 1, unit_price: 1 }];
        await engine.save(
          'pos_sale',
          {
            client_uuid: '',
            offline_reference: await engine.nextOfflineReference('POS'),
            items_json: JSON.stringify(items),
            taxes_json: '[]',
            invoice_date: new Date().toISOString().slice(0, 10),
            due_date: new Date().toISOString().slice(0, 10),
            pos_method: 'cash',
            subtotal: 1,
            total: 1,
          },
          (uuid, db) => db.execute('INSERT INTO stock_holds (sale_uuid, product_uuid, quantity) VALUES (?, ?, 1)', [uuid, productUuid]),
        );
        work.sold++;
      }
      for (let i = 0; i < 3; i++) {
        await engine.save('stock_adjustment', { product_uuid: productUuid, delta: 2, reason: 'restock' }, (_, db) =>
          db.execute('UPDATE products SET stock = stock + 2 WHERE uuid = ?', [productUuid]),
        );
        work.adjusted += 2;
      }
      return work;
    },
    { productUuid, round },
  );
}

function expectWork(expected: Expected, work: Work): void {
  for (const c of work.created) expected.set(c.uuid, { name: c.name, phone: '0' });
  for (const e of work.edited) {
    const now = expected.get(e.uuid);
    if (now === null) continue;
    expected.set(e.uuid, { ...now, phone: e.phone, ...(e.email ? { email: e.email } : {}) });
  }
  for (const uuid of work.removed) expected.set(uuid, null);
}

/** Scalar fields of a server record that the local row must hold alike. */
function differences(local: Record<string, unknown> | undefined, record: Record<string, unknown>): string[] {
  if (!local) return ['missing'];
  const out: string[] = [];
  const same = (a: unknown, b: unknown) =>
    (a ?? null) === (b ?? null) || (typeof b === 'boolean' && a === (b ? 1 : 0)) || Number(a) === b;
  for (const [key, value] of Object.entries(record)) {
    if (key === 'id' || !(key in local) || (value !== null && typeof value === 'object')) continue;
    if (!same(local[key], key === 'version' ? String(value) : value)) out.push(`${key}: ${String(local[key])} != ${String(value)}`);
  }
  if (local.server_id !== record.id) out.push('server_id');
  if (local.dirty !== 0 || local.deleted !== 0) out.push('dirty');
  return out;
}

it(`loses nothing and applies nothing twice across ${KILLS} host and ${SERVER_KILLS} server kills`, async () => {
  const demoClients = (await serverRecords('client')).size;
  const stamp = new Date().toISOString();
  const productUuid = crypto.randomUUID();
  await api('/sync/push', {
    device_id: 'seeder',
    device_time: stamp,
    operations: [{ op_id: crypto.randomUUID(), entity: 'product', action: 'upsert', uuid: productUuid, base_version: null,
      client_updated_at: stamp, data: { name: 'Counted', price: 1, stock: 1000, type: 'product' } }],
  });
  let seeded = 0;
  let rounds = 0;
  let stock = 1000;
  const bulk: string[] = [];
  const expected: Expected = new Map();
  const addWork = async () => {
    await seedServer(RECORDS, rounds);
    seeded += RECORDS;
    bulk.push(...(await queueLocal(OPS, ADJUSTMENTS, productUuid)));
    stock += ADJUSTMENTS;
    rounds++;
  };
  const outboxSize = () => count('SELECT COUNT(*) AS n FROM outbox');

  // The device queues its first work while signed out (the engine waits), then signs in.
  await boot();
  await page.getByTestId('login').waitFor();
  await addWork();
  expect(await outboxSize()).toBe(OPS);
  await page.getByTestId('server').fill(relay.url);
  await page.getByTestId('email').fill('owner@demo.test');
  await page.getByTestId('password').fill('demo-owner-1');
  await page.getByTestId('login').click();
  await page.getByTestId('top-bar').waitFor();

  // Kill the host or the server at random moments while the device pushes and
  // pulls; each restarts at once. Every round the user works through save and
  // remove while sync runs; bulk work is added whenever the last is done, so
  // every kill finds work under way.
  const kills = [...Array<'host'>(KILLS).fill('host'), ...Array<'server'>(SERVER_KILLS).fill('server')].sort(
    () => Math.random() - 0.5,
  );
  for (const [round, target] of kills.entries()) {
    if ((await outboxSize()) < 50) await addWork();
    const work = await userWork(productUuid, round);
    expectWork(expected, work);
    stock += work.adjusted - work.sold;
    await page.waitForTimeout(Math.random() * 800);
    if (target === 'server') {
      await server.kill();
      await page.waitForTimeout(Math.random() * 300);
      await server.start();
    } else {
      await host!.crash();
      await boot();
      await page.getByTestId('top-bar').waitFor();
    }
  }

  // Then let it finish: done once a run that began after all the work
  // (push, then pull to the end) has succeeded and left nothing queued. A run
  // that returned early (no account yet, halted) writes no sync time.
  for (let round = 0; round < 60; round++) {
    const began = await page.evaluate(async () => {
      const engine = window.__tovikSync!.engine() as { sync(force: boolean): Promise<void> };
      await engine.sync(true); // the run under way, which may predate the last work
      const began = new Date().toISOString();
      await engine.sync(true);
      return began;
    });
    const lastError = await page.evaluate(() => (window.__tovikSync!.engine() as { lastError: string | null }).lastError);
    const [synced] = (await select("SELECT value FROM meta WHERE key = 'last_sync_at'")) as { value: string }[];
    if (lastError === null && (synced?.value ?? '') >= began && (await outboxSize()) === 0) break;
    await page.waitForTimeout(500);
  }

  const resent = [...relay.sent.values()].filter((n) => n > 1).length;
  console.log(
    `${KILLS} host kills, ${SERVER_KILLS} server kills over ${rounds} bulk rounds: ${seeded} records pulled, ` +
      `${relay.sent.size} operations pushed, ${resent} sent more than once, ${relay.replays} replayed by the server`,
  );
  // A refused change says most through what went over the wire for its record.
  for (const letter of (await select('SELECT uuid, reason, detail_json FROM dead_letter')) as { uuid: string }[])
    console.log(`refused: ${JSON.stringify(letter)}\n  ${(relay.history.get(letter.uuid) ?? []).join('\n  ')}`);
  expect(await outboxSize()).toBe(0);
  expect(await select('SELECT reason, detail_json FROM dead_letter')).toEqual([]);

  const clients = await serverRecords('client');
  expect(bulk.filter((uuid) => expected.get(uuid) !== null && !clients.has(uuid))).toEqual([]);
  // What the user did is what the server holds: no edit lost, no deletion undone.
  const mismatched = [...expected].filter(([uuid, want]) => {
    const got = clients.get(uuid);
    if (want === null) return got !== undefined;
    return (
      !got ||
      (want.name !== undefined && got.name !== want.name) ||
      got.phone !== want.phone ||
      (want.email !== undefined && got.email !== want.email)
    );
  });
  expect(mismatched).toEqual([]);
  const products = await serverRecords('product');
  // Each adjustment and sale moves the stock once: a second application would show here.
  expect(products.get(productUuid)?.stock).toBe(stock);

  // The local tables hold exactly the server's records, field by field.
  for (const [table, records] of [['clients', clients], ['products', products]] as const) {
    const local = new Map(
      ((await select(`SELECT * FROM ${table}`)) as Record<string, unknown>[]).map((row) => [String(row.uuid), row]),
    );
    const missing = [...records.values()].filter((record) => !local.has(String(record.uuid)));
    if (missing.length) {
      // Which changes never came down, against where the device's cursor stands.
      const versions = missing.map((record) => Number(record.version)).sort((a, b) => a - b);
      const [cursor] = (await select("SELECT value FROM meta WHERE key = 'pull_cursor'")) as { value: string }[];
      console.log(
        `${table}: ${missing.length} missing, versions ${versions[0]}..${versions.at(-1)}, ` +
          `cursor ${cursor ? Buffer.from(cursor.value, 'base64url').toString() : 'none'}, ` +
          `e.g. ${JSON.stringify(missing.slice(0, 3).map((r) => r.name))}`,
      );
    }
    expect(local.size).toBe(records.size);
    const wrong = [...records].map(([uuid, record]) => [uuid, differences(local.get(uuid), record)] as const);
    expect(wrong.filter(([, d]) => d.length)).toEqual([]);
  }
  expect(await select('SELECT * FROM stock_holds')).toEqual([]);
  expect(demoClients).toBeGreaterThan(0);
}, Math.max(900_000, (KILLS + SERVER_KILLS) * 20_000));

declare global {
  interface Window {
    __tovikSync?: { engine: () => unknown; [key: string]: unknown };
  }
}
