// @vitest-environment happy-dom
import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest';
import { entities } from '../../app/features';
import { uuidv7 } from '../../core';
import type { LocalDb } from '../../storage';
import { openMemoryDb } from '../../storage/testing';
import { SyncEngine } from './engine';
import { withinBudget, type Operation } from './outbox';
import { dataEpochCheck, storedDataEpoch } from './pull';
import { BACKOFF_CEILING_MS, nextBackoff } from './scheduler';
import type { Account, SyncStatus } from './ports';
import { BATCH_TOO_LARGE } from './transport';

type Reply = { status?: number; body?: unknown } | Error;
type Script = (path: string, body: Record<string, unknown> | null) => Reply;

let db: LocalDb;
let script: Script;
let calls: { path: string; body: Record<string, unknown> | null }[];
let statuses: SyncStatus[];
let authLost: unknown[][];
let pushedCounts: number[];
let account: Account | null;

function makeEngine(): SyncEngine {
  const engine = new SyncEngine({
    db: () => Promise.resolve(db),
    entities,
    deviceId: () => Promise.resolve('0190a1b2-c3d4-7e5f-8a9b-00000000abcd'),
    token: () => Promise.resolve('token'),
    account: () => account,
    dataEpoch: () => Promise.resolve(null),
    onAuthLost: (...args) => authLost.push(args),
    onStatus: (s) => statuses.push(s),
    onChanged: () => {},
    onPushed: (n) => pushedCounts.push(n),
    online: () => true,
    random: () => 0.5,
    send: async (path, init) => {
      const body = typeof init.body === 'string' ? (JSON.parse(init.body) as Record<string, unknown>) : null;
      calls.push({ path, body });
      const reply = script(path, body);
      if (reply instanceof Error) throw reply;
      return new Response(JSON.stringify(reply.body ?? {}), { status: reply.status ?? 200 });
    },
  });
  engine.resume();
  return engine;
}

const rows = (sql: string, params: (string | number)[] = []) => db.select(sql, params);
const outbox = () => db.select<Operation>('SELECT * FROM outbox ORDER BY seq');
const pushes = () => calls.filter((c) => c.path === '/sync/push');
const opsOf = (call: { body: Record<string, unknown> | null }) =>
  (call.body?.operations ?? []) as { op_id: string; uuid: string; action: string; data?: Record<string, unknown> }[];
const emptyPage = { changes: {}, deleted: [], cursor: 'c0', has_more: false };
/** Answers every push with the same verdict and every pull with an empty page. */
const answerAll =
  (verdict: (op: { op_id: string; uuid: string }) => Record<string, unknown>): Script =>
  (path, body) =>
    path === '/sync/push'
      ? { body: { results: opsOf({ body }).map((op) => ({ op_id: op.op_id, ...verdict(op) })) } }
      : { body: emptyPage };

beforeEach(async () => {
  db = await openMemoryDb();
  calls = [];
  statuses = [];
  authLost = [];
  pushedCounts = [];
  account = { companyId: '1', userId: '7' };
  script = answerAll(() => ({ status: 'applied' }));
  vi.useFakeTimers({ toFake: ['setTimeout', 'clearTimeout', 'setInterval', 'clearInterval'] });
});

afterEach(() => {
  vi.useRealTimers();
});

describe('queueing changes', () => {
  it('merges two saves of one record into one waiting operation, later values winning', async () => {
    const engine = makeEngine();
    const uuid = await engine.save('client', { name: 'Salma', phone: '091', nickname: 'sent only' });
    await engine.save('client', { uuid, name: 'Salma B.', email: 's@x.ly' });
    const ops = await outbox();
    expect(ops).toHaveLength(1);
    expect(JSON.parse(ops[0]!.data_json!)).toEqual({ name: 'Salma B.', phone: '091', nickname: 'sent only', email: 's@x.ly' });
    const [row] = await rows('SELECT name, phone, email, dirty FROM clients WHERE uuid = ?', [uuid]);
    expect(row).toEqual({ name: 'Salma B.', phone: '091', email: 's@x.ly', dirty: 1 });
  });

  it('never merges into an operation in flight: the change queues behind it', async () => {
    const engine = makeEngine();
    const uuid = await engine.save('client', { name: 'A' });
    await db.execute("UPDATE outbox SET state = 'inflight'");
    await engine.save('client', { uuid, name: 'B' });
    expect((await outbox()).map((o) => [o.state, JSON.parse(o.data_json!).name])).toEqual([
      ['inflight', 'A'],
      ['pending', 'B'],
    ]);
  });

  it.each([
    ['as JSON text', '[{"q":1}]'],
    ['as a list', [{ q: 1 }]],
  ])('sends a sale whose lines are given %s with its lines, and stores them as text', async (_, lines) => {
    const engine = makeEngine();
    const uuid = await engine.save('pos_sale', { client_uuid: '', due_date: '2026-12-10', items_json: lines });
    expect(JSON.parse((await outbox())[0]!.data_json!).items).toEqual([{ q: 1 }]);
    expect(await rows('SELECT items_json FROM invoices WHERE uuid = ?', [uuid])).toEqual([{ items_json: '[{"q":1}]' }]);
  });

  it('runs withinTransaction after the outbox write, and rolls everything back when it fails', async () => {
    const engine = makeEngine();
    await expect(
      engine.save('pos_sale', { client_uuid: '', due_date: '2026-12-10', items_json: '[{"q":1}]' }, async (uuid, db) => {
        expect(await outbox()).toHaveLength(1);
        await db.execute('INSERT INTO stock_holds (sale_uuid, product_uuid, quantity) VALUES (?, ?, ?)', [uuid, 'p', 1]);
        throw new Error('till failure');
      }),
    ).rejects.toThrow('till failure');
    expect(await outbox()).toHaveLength(0);
    expect(await rows('SELECT * FROM invoices')).toHaveLength(0);
    expect(await rows('SELECT * FROM stock_holds')).toHaveLength(0);
  });

  it.each([
    ['never sent', null, 'pending', [], 0],
    ['create in flight', null, 'inflight', ['upsert:inflight', 'delete:pending'], 1],
    ['known to the server', 'v1', 'pending', ['delete:pending'], 1],
  ])('remove of a record %s', async (_, version, state, queued, rowsLeft) => {
    const engine = makeEngine();
    const uuid = await engine.save('note', { title: 'x', body: 'y', created_at: '2026-12-10' });
    await db.execute('UPDATE notes SET version = ?', [version]);
    await db.execute('UPDATE outbox SET state = ?', [state]);
    await engine.remove('note', uuid);
    expect((await outbox()).map((o) => `${o.action}:${o.state}`)).toEqual(queued);
    const left = await rows('SELECT deleted, dirty FROM notes');
    expect(left).toHaveLength(rowsLeft);
    if (rowsLeft) expect(left[0]).toEqual({ deleted: 1, dirty: 1 });
  });

  it('numbers offline references from one counter for every prefix', async () => {
    const engine = makeEngine();
    const refs = [await engine.nextOfflineReference(), await engine.nextOfflineReference('POS'), await engine.nextOfflineReference()];
    expect(refs).toEqual(['OFF-ABCD-00001', 'POS-ABCD-00002', 'OFF-ABCD-00003']);
  });

  it('makes version 7 uuids that sort by time', () => {
    const a = uuidv7(1_700_000_000_000);
    const b = uuidv7(1_700_000_000_001);
    expect(a).toMatch(/^[0-9a-f]{8}-[0-9a-f]{4}-7[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$/);
    expect(a < b).toBe(true);
    expect(a.slice(0, 13).replace('-', '')).toBe((1_700_000_000_000).toString(16).padStart(12, '0'));
  });

  it('keeps the first operation even when it alone is over the size budget', () => {
    const op = (seq: number, size: number) => ({ seq, data_json: 'x'.repeat(size) }) as Operation;
    expect(withinBudget([op(1, 2_000_000), op(2, 10)]).map((o) => o.seq)).toEqual([1]);
    expect(withinBudget([op(1, 600_000), op(2, 399_300), op(3, 10)]).map((o) => o.seq)).toEqual([1, 2]);
  });
});

describe('push verdicts', () => {
  async function sale(engine: SyncEngine, product: string): Promise<string> {
    return engine.save('pos_sale', { client_uuid: '', items_json: '[]', invoice_date: '2026-12-10', due_date: '2026-12-10' }, (uuid, db) =>
      db.execute('INSERT INTO stock_holds (sale_uuid, product_uuid, quantity) VALUES (?, ?, 2)', [uuid, product]),
    );
  }

  it('applies every verdict of a reply whose first one is "retry", then waits 15 s', async () => {
    const engine = makeEngine();
    await db.execute("INSERT INTO products (uuid, name, price, stock, local_updated_at) VALUES ('p', 'Tea', 1, 10, 'x')");
    const retried = await engine.save('client', { name: 'R' });
    const applied = await sale(engine, 'p');
    const refused = await sale(engine, 'p');
    const locked = await sale(engine, 'p');
    const conflicted = await engine.save('client', { name: 'mine' });
    const verdicts: Record<string, Record<string, unknown>> = {
      [retried]: { status: 'retry' },
      [applied]: { status: 'applied', record: { uuid: applied, id: 9, version: 'v1', invoice_number: 'INV-9', items: [{ q: 2 }] } },
      [refused]: { status: 'rejected', reason: 'invalid', message: 'bad' },
      [locked]: { status: 'rejected', reason: 'locked' },
      [conflicted]: { status: 'conflict', record: { uuid: conflicted, id: 3, version: 'v7', name: 'theirs' } },
    };
    script = answerAll((op) => verdicts[op.uuid]!);
    await engine.sync();
    expect(pushes()).toHaveLength(1);
    expect((await outbox()).map((o) => [o.uuid, o.state])).toEqual([[retried, 'pending']]);
    expect(await rows('SELECT stock FROM products')).toEqual([{ stock: 8 }]);
    expect(await rows('SELECT sale_uuid FROM stock_holds')).toEqual([{ sale_uuid: refused }]);
    expect(await rows('SELECT uuid, reason FROM dead_letter ORDER BY reason')).toEqual([
      { uuid: refused, reason: 'invalid' },
      { uuid: locked, reason: 'locked' },
    ]);
    expect(await rows('SELECT invoice_number, version, dirty, items_json FROM invoices WHERE uuid = ?', [applied])).toEqual([
      { invoice_number: 'INV-9', version: 'v1', dirty: 0, items_json: '[{"q":2}]' },
    ]);
    expect(await rows('SELECT name, server_id FROM clients WHERE uuid = ?', [conflicted])).toEqual([{ name: 'theirs', server_id: 3 }]);
    expect(pushedCounts).toEqual([1]);

    script = answerAll(() => ({ status: 'applied' }));
    await vi.advanceTimersByTimeAsync(14_000);
    expect(pushes()).toHaveLength(1);
    await vi.advanceTimersByTimeAsync(1_500);
    expect(pushes()).toHaveLength(2);
    expect(await outbox()).toHaveLength(0);
  });

  it('deletes the row for an applied deletion and for a record deleted on the server', async () => {
    const engine = makeEngine();
    await db.execute("INSERT INTO notes (uuid, title, body, created_at, version, local_updated_at) VALUES ('n1', 't', 'b', 'x', 'v1', 'x'), ('n2', 't', 'b', 'x', 'v1', 'x')");
    await engine.remove('note', 'n1');
    await engine.save('note', { uuid: 'n2', title: 'edited' });
    script = answerAll((op) => (op.uuid === 'n1' ? { status: 'applied' } : { status: 'conflict', reason: 'deleted_on_server' }));
    await engine.sync();
    expect(await rows('SELECT * FROM notes')).toEqual([]);
    expect(await outbox()).toEqual([]);
  });

  it('resends a refused sale, and a dismissed one stops holding stock', async () => {
    const engine = makeEngine();
    const a = await sale(engine, 'p');
    const b = await sale(engine, 'p');
    script = answerAll(() => ({ status: 'rejected', reason: 'invalid' }));
    await engine.sync();
    const letters = await rows('SELECT op_id, uuid FROM dead_letter');
    const letterOf = (uuid: string) => String(letters.find((l) => l.uuid === uuid)!.op_id);
    await engine.retry(letterOf(a));
    await engine.dismiss(letterOf(b));
    expect((await outbox()).map((o) => o.uuid)).toEqual([a]);
    expect(await rows('SELECT sale_uuid FROM stock_holds')).toEqual([{ sale_uuid: a }]);
    expect(await rows('SELECT * FROM dead_letter')).toEqual([]);
  });

  it('cannot resend a refused deletion', async () => {
    const engine = makeEngine();
    await db.execute(
      "INSERT INTO dead_letter (op_id, entity, uuid, reason, detail_json, created_at, data_json) VALUES ('d', 'note', 'n', 'forbidden', '{}', 'x', NULL)",
    );
    await expect(engine.retry('d')).rejects.toThrow('can no longer be resent');
    expect(await rows('SELECT op_id FROM dead_letter')).toHaveLength(1);
  });

  it('sends operations left in flight by an interrupted run again, counting the attempt', async () => {
    const first = makeEngine();
    await first.save('client', { name: 'A' });
    await db.execute("UPDATE outbox SET state = 'inflight', attempts = 1");
    script = () => ({ status: 500, body: { message: 'down' } });
    await makeEngine().sync();
    expect(opsOf(pushes()[0]!)).toHaveLength(1);
    expect((await outbox()).map((o) => [o.state, o.attempts])).toEqual([['inflight', 2]]);
  });

  it('gives up a run after repeated rounds without results, keeping the operations', async () => {
    const engine = makeEngine();
    await engine.save('client', { name: 'A' });
    script = (path) => (path === '/sync/push' ? { body: { results: [] } } : { body: emptyPage });
    await engine.sync();
    expect(pushes()).toHaveLength(3);
    expect(engine.lastError).toMatch('did not answer');
    expect(await outbox()).toHaveLength(1);
  });
});

describe('failures and scheduling', () => {
  it('never waits more than 360 s, however many failures', () => {
    for (const random of [() => 0, () => 0.999999]) {
      let delay = 0;
      const delays = [];
      for (let i = 0; i < 10; i++) delays.push((delay = nextBackoff(delay, random)));
      expect(Math.max(...delays)).toBeLessThanOrEqual(BACKOFF_CEILING_MS * 1.2);
      expect(delays[0]).toBeGreaterThanOrEqual(4000);
    }
  });

  it.each([
    ['a network failure', new TypeError('fetch failed'), 'fetch failed', 100],
    ['a batch too large', { status: 413 }, BATCH_TOO_LARGE, 100],
    ['a server error', { status: 500, body: { message: 'Database busy' } }, 'Database busy', 200],
    ['a reply without results', { body: {} }, 'without results', 100],
  ] as const)('%s backs off from 5 s and shows the message', async (_, reply, message, batch) => {
    const engine = makeEngine();
    await engine.save('client', { name: 'A' });
    script = (path) => (path === '/sync/push' ? (reply as Reply) : { body: emptyPage });
    await engine.sync();
    expect(engine.lastError).toMatch(message);
    expect(engine.batch).toBe(batch);
    expect(engine.backoffMs).toBe(5000);
    engine.kick(0);
    await vi.advanceTimersByTimeAsync(4_900);
    expect(pushes()).toHaveLength(1);
    await vi.advanceTimersByTimeAsync(200);
    expect(pushes()).toHaveLength(2);
  });

  it('a 401 signs out with the server message and schedules nothing', async () => {
    const engine = makeEngine();
    await engine.save('client', { name: 'A' });
    script = () => ({ status: 401, body: { error_code: 'SESSION_REVOKED', message: 'Revoked elsewhere' } });
    await vi.advanceTimersByTimeAsync(1_500);
    expect(pushes()).toHaveLength(1);
    expect(authLost).toEqual([['Revoked elsewhere', 'SESSION_REVOKED']]);
    await vi.advanceTimersByTimeAsync(600_000);
    expect(pushes()).toHaveLength(1);
  });

  it('the "online" event brings a backed-off run forward to now', async () => {
    const engine = makeEngine();
    script = () => new TypeError('offline');
    engine.start();
    await vi.advanceTimersByTimeAsync(0);
    expect(engine.backoffMs).toBe(5000);
    script = answerAll(() => ({ status: 'applied' }));
    window.dispatchEvent(new Event('online'));
    await vi.advanceTimersByTimeAsync(0);
    expect(calls.at(-1)!.path).toMatch('/sync/pull');
    expect(engine.lastError).toBeNull();
  });

  it('runs one at a time: a second call shares the run under way', async () => {
    const engine = makeEngine();
    const [a, b] = [engine.sync(), engine.sync()];
    await Promise.all([a, b]);
    expect(calls.filter((c) => c.path.startsWith('/sync/pull'))).toHaveLength(1);
  });

  it('a run under way at sign-out writes nothing after it', async () => {
    const engine = makeEngine();
    const uuid = await engine.save('client', { name: 'A' });
    const applied = answerAll((op) => ({ status: 'applied', record: { uuid: op.uuid, id: 1, version: 'v1', name: 'A' } }));
    script = (path, body) => {
      // The sign-out begins while the push is on the wire, and wipes.
      engine.halt();
      void db.execute('DELETE FROM clients');
      return applied(path, body);
    };
    await engine.sync();
    expect(await rows('SELECT * FROM clients')).toEqual([]);
    expect((await outbox()).map((o) => o.uuid)).toEqual([uuid]);
    expect(pushedCounts).toEqual([]);
  });
});

describe('pull', () => {
  const client = (uuid: string, fields: Record<string, unknown> = {}) => ({ uuid, id: 1, version: 'v1', name: uuid, ...fields });

  it('pages with the cursor, which moves only with its page, asking for the next page while it writes one', async () => {
    const engine = makeEngine();
    const pages: Reply[] = [
      { body: { changes: { client: [client('a')] }, deleted: [], cursor: 'c1', has_more: true } },
      { body: { changes: { client: [client('b')] }, deleted: [], cursor: 'c2', has_more: true } },
      { status: 500 },
    ];
    const events: string[] = [];
    script = (path) => {
      events.push(`ask ${new URL(path, 'http://x').searchParams.get('cursor')}`);
      return pages.shift()!;
    };
    const transaction = db.transaction.bind(db);
    vi.spyOn(db, 'transaction').mockImplementation(async (work) => {
      const result = await transaction(work);
      events.push('written');
      return result;
    });
    await engine.sync();
    // The push's (empty) batch, then each page written after its successor was asked for; the failed third leaves the second in.
    expect(events).toEqual(['written', 'ask null', 'ask c1', 'written', 'ask c2', 'written']);
    const paths = calls.map((c) => new URL(c.path, 'http://x').searchParams);
    expect(calls[0]!.path).toBe(
      `/sync/pull?limit=500&entities=${entities.pulled.join('%2C')}`,
    );
    expect(paths.map((p) => p.get('cursor'))).toEqual([null, 'c1', 'c2']);
    expect(await rows("SELECT value FROM meta WHERE key = 'pull_cursor'")).toEqual([{ value: 'c2' }]);
    expect(await rows('SELECT uuid FROM clients ORDER BY uuid')).toEqual([{ uuid: 'a' }, { uuid: 'b' }]);
    expect(await rows("SELECT * FROM meta WHERE key = 'last_sync_at'")).toEqual([]);
  });

  it('merges a page: skips queued records, keeps absent columns, clears explicit nulls, drops deletions and unknown keys', async () => {
    const engine = makeEngine();
    await db.execute(
      "INSERT INTO clients (uuid, name, phone, email, local_updated_at, dirty) VALUES ('kept', 'Local', '091', 'a@b', 'x', 1), ('merged', 'Old', '092', 'c@d', 'x', 0), ('gone', 'G', NULL, NULL, 'x', 0)",
    );
    await db.execute("INSERT INTO notes (uuid, title, body, created_at, local_updated_at) VALUES ('n', 't', 'b', 'x', 'x')");
    const queued: [string, string, string][] = [['client', 'kept', 'pending'], ['client', 'gone', 'inflight'], ['note', 'n', 'pending']];
    for (const [entity, uuid, state] of queued)
      await db.execute(
        "INSERT INTO outbox (op_id, entity, action, uuid, client_updated_at, state) VALUES (?, ?, 'upsert', ?, 'x', ?)",
        [uuid + entity, entity, uuid, state],
      );
    const page = {
      body: {
        changes: {
          client: [client('kept', { name: 'Server' }), client('merged', { name: 'New', email: null, wallet_cards: [{ n: 1 }], extra: 'dropped' })],
          pos_sale: [{ uuid: 'ps', id: 2, version: 'v', items: [] }],
          gadget: [{ uuid: 'g' }],
        },
        deleted: [{ entity: 'client', uuid: 'gone' }, { entity: 'note', uuid: 'n' }, { entity: 'gadget', uuid: 'x' }],
        cursor: 'c9',
        has_more: false,
      },
    };
    // The queued changes stay queued: the server asks for them again later.
    script = (path, body) => (path === '/sync/push' ? answerAll(() => ({ status: 'retry' }))(path, body) : page);
    await engine.sync();
    expect(engine.lastError).toBeNull();
    expect(await rows('SELECT uuid, name, phone, email, dirty, server_id, wallet_cards FROM clients ORDER BY uuid')).toEqual([
      { uuid: 'kept', name: 'Local', phone: '091', email: 'a@b', dirty: 1, server_id: null, wallet_cards: null },
      { uuid: 'merged', name: 'New', phone: '092', email: null, dirty: 0, server_id: 1, wallet_cards: '[{"n":1}]' },
    ]);
    expect(await rows('SELECT * FROM notes')).toEqual([]);
    expect(await rows('SELECT * FROM invoices')).toEqual([]);
    expect((await outbox()).map((o) => o.uuid)).toEqual(['kept']);
  });

  it('rolls back a page that fails midway, cursor included', async () => {
    const engine = makeEngine();
    script = () => ({ body: { changes: { client: [client('a'), { uuid: 'b', id: 2, name: null }] }, deleted: [], cursor: 'c1' } });
    await engine.sync();
    expect(engine.lastError).toBeTruthy();
    expect(await rows('SELECT * FROM clients')).toEqual([]);
    expect(await rows("SELECT * FROM meta WHERE key = 'pull_cursor'")).toEqual([]);
  });
});

describe('data epoch', () => {
  it("stores the first epoch, wipes company data and the company's outbox and dead letters on a new one", async () => {
    const seed = async () => {
      await db.execute("INSERT OR REPLACE INTO clients (uuid, name, local_updated_at) VALUES ('c', 'C', 'x')");
      await db.execute("INSERT OR REPLACE INTO outbox (op_id, entity, action, uuid, client_updated_at) VALUES ('o', 'client', 'upsert', 'c', 'x')");
      await db.execute("INSERT OR REPLACE INTO dead_letter (op_id, entity, uuid, reason, company_id, user_id) VALUES ('d', 'client', 'c', 'invalid', '1', '5')");
      // Another company's work waits for its own sign-in.
      await db.execute("INSERT OR REPLACE INTO outbox (op_id, entity, action, uuid, client_updated_at, company_id, user_id) VALUES ('other', 'client', 'upsert', 'x', 'x', '2', '5')");
      await db.execute("INSERT OR REPLACE INTO meta (key, value) VALUES ('pull_cursor', 'c1'), ('device_id', 'dev')");
    };
    const left = async () =>
      (await rows("SELECT (SELECT COUNT(*) FROM clients) + (SELECT COUNT(*) FROM outbox) + (SELECT COUNT(*) FROM dead_letter) + (SELECT COUNT(*) FROM meta WHERE key = 'pull_cursor') AS n"))[0]!.n;
    await seed();
    expect(await dataEpochCheck(db, entities.catalogue.companyTables, 42, null, '1')).toBe(false);
    expect(await dataEpochCheck(db, entities.catalogue.companyTables, 42, 3, '1')).toBe(false);
    expect(await left()).toBe(5);
    expect(await dataEpochCheck(db, entities.catalogue.companyTables, 42, '3', '1')).toBe(false);
    expect(await dataEpochCheck(db, entities.catalogue.companyTables, 42, 4, '1')).toBe(true);
    expect(await left()).toBe(1);
    expect(await rows('SELECT op_id FROM outbox')).toEqual([{ op_id: 'other' }]);
    expect(await storedDataEpoch(db, 42)).toBe('4');
    expect(await storedDataEpoch(db, undefined)).toBeNull();
    expect(await rows("SELECT value FROM meta WHERE key = 'device_id'")).toEqual([{ value: 'dev' }]);
  });

  it('sends the stored epoch with every sync request', async () => {
    const seen: (string | null)[] = [];
    const engine = new SyncEngine({
      db: () => Promise.resolve(db),
      entities,
      deviceId: () => Promise.resolve('d'),
      token: () => Promise.resolve('t'),
      account: () => ({ companyId: '1', userId: '1' }),
      dataEpoch: () => Promise.resolve(7),
      onAuthLost: () => {},
      onStatus: () => {},
      onChanged: () => {},
      onPushed: () => {},
      online: () => true,
      send: async (_, init) => {
        seen.push(init.headers['X-Data-Epoch'] ?? null);
        return new Response(JSON.stringify(emptyPage));
      },
    });
    engine.resume();
    await engine.sync();
    expect(seen).toEqual(['7']);
  });
});
