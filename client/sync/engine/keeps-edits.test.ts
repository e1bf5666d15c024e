// @vitest-environment happy-dom
import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest';
import { entities } from '../../app/features';
import type { LocalDb } from '../../storage';
import { openMemoryDb } from '../../storage/testing';
import { SyncEngine } from './engine';
import type { Operation } from './outbox';
import type { Account, SyncStatus } from './ports';

type Fields = Record<string, unknown>;
type Stored = { kind: string; uuid: string; id: number; version: string; deleted: boolean; data: Fields };
type Op = { op_id: string; entity: string; action: string; uuid: string; base_version: string | null; data?: Fields };

/**
 * A server with the reference server's conflict and replay rules: a stale
 * base version is a conflict, a known op_id gets its first verdict again
 * (with the record as it is now), a null base is accepted over a stored
 * record, sales are created once, a client is created with its name. It keeps one change log for the pull.
 */
class ScriptedServer {
  records = new Map<string, Stored>();
  log: string[] = [];
  seen = new Map<string, Fields>();
  replays = 0;
  /** Applies the request but loses the reply (the device sees a network failure). */
  loseNextReply = false;
  /** Refuses operations of these entities, as a rule would. */
  refuse = new Set<string>();

  private put(kind: string, uuid: string, data: Fields): Stored {
    const old = this.records.get(uuid);
    this.log.push(uuid);
    const stored = { kind, uuid, id: old?.id ?? this.records.size + 1, version: String(this.log.length), deleted: false, data };
    this.records.set(uuid, stored);
    return stored;
  }

  private format(s: Stored): Fields {
    return { ...s.data, uuid: s.uuid, id: s.id, version: s.version };
  }

  private decide(op: Op): Fields {
    const verdict = (status: string, reason?: string, record?: Stored) => ({
      op_id: op.op_id,
      status,
      ...(reason ? { reason } : {}),
      ...(record ? { record: this.format(record) } : {}),
    });
    if (this.refuse.has(op.entity)) return verdict('rejected', 'invalid');
    const existing = this.records.get(op.uuid);
    const base = op.base_version ?? '';
    if (op.action === 'delete') {
      if (!existing || existing.deleted) return verdict('conflict', 'deleted_on_server');
      if (base && base !== existing.version) return verdict('conflict', 'stale', existing);
      existing.deleted = true;
      this.log.push(op.uuid);
      existing.version = String(this.log.length);
      return verdict('applied');
    }
    if (existing?.deleted || (!existing && base)) return verdict('conflict', 'deleted_on_server');
    if (existing && op.entity === 'pos_sale') return verdict('applied', undefined, existing);
    // As the real rule: a client is created with its name.
    if (!existing && op.entity === 'client' && !op.data?.name) return verdict('rejected', 'invalid');
    if (existing && base && base !== existing.version) return verdict('conflict', 'stale', existing);
    if (op.entity === 'stock_adjustment') {
      const product = this.records.get(String(op.data!.product_uuid))!;
      this.put('product', product.uuid, { ...product.data, stock: Number(product.data.stock) + Number(op.data!.delta) });
    }
    // A product's stock moves only through adjustments and sales once it exists.
    const data = existing && op.entity === 'product' ? { ...op.data, stock: existing.data.stock } : op.data;
    return verdict('applied', undefined, this.put(op.entity, op.uuid, { ...existing?.data, ...data }));
  }

  push(ops: Op[]): Fields[] {
    return ops.map((op) => {
      const first = this.seen.get(op.op_id);
      if (first) {
        this.replays++;
        const now = this.records.get(op.uuid);
        return now && !now.deleted ? { ...first, record: this.format(now) } : first;
      }
      const result = this.decide(op);
      const { record: _, ...kept } = result;
      this.seen.set(op.op_id, kept);
      return result;
    });
  }

  pull(cursor: number): Fields {
    const changes: Record<string, Fields[]> = {};
    const deleted: Fields[] = [];
    const touched = [...new Set(this.log.slice(cursor))];
    for (const uuid of touched) {
      const s = this.records.get(uuid)!;
      if (['pos_sale', 'stock_adjustment'].includes(s.kind)) continue;
      if (s.deleted) deleted.push({ entity: s.kind, uuid });
      else (changes[s.kind] ??= []).push(this.format(s));
    }
    return { changes, deleted, cursor: String(this.log.length), has_more: false };
  }

  live(uuid: string): Fields | undefined {
    const s = this.records.get(uuid);
    return s && !s.deleted ? s.data : undefined;
  }
}

let db: LocalDb;
let server: ScriptedServer;
let account: Account | null;
let paths: string[];
let authLost: number;
let statuses: SyncStatus[];
/** Runs before each request reaches the server. */
let onRequest: (path: string) => void;
/** Each request waits for this before it is answered. */
let gate: Promise<void>;

function makeEngine(): SyncEngine {
  const engine = new SyncEngine({
    db: () => Promise.resolve(db),
    entities,
    deviceId: () => Promise.resolve('0190a1b2-c3d4-7e5f-8a9b-00000000abcd'),
    token: () => Promise.resolve('token'),
    account: () => account,
    dataEpoch: () => Promise.resolve(null),
    onAuthLost: () => authLost++,
    onStatus: (s) => statuses.push(s),
    onChanged: () => {},
    onPushed: () => {},
    online: () => true,
    random: () => 0.5,
    send: async (path, init) => {
      paths.push(path);
      onRequest(path);
      await gate;
      if (path.startsWith('/sync/pull')) {
        const cursor = Number(new URL(path, 'http://x').searchParams.get('cursor') ?? 0);
        return new Response(JSON.stringify(server.pull(cursor)));
      }
      const body = JSON.parse(String(init.body)) as { operations: Op[] };
      const results = server.push(body.operations);
      if (server.loseNextReply) {
        server.loseNextReply = false;
        throw new TypeError('connection reset');
      }
      return new Response(JSON.stringify({ results }));
    },
  });
  engine.resume();
  return engine;
}

const outbox = () => db.select<Operation>('SELECT * FROM outbox ORDER BY seq');
const one = async (sql: string, params: string[] = []) => (await db.select(sql, params))[0];

beforeEach(async () => {
  db = await openMemoryDb();
  server = new ScriptedServer();
  account = { companyId: '1', userId: '7' };
  paths = [];
  authLost = 0;
  statuses = [];
  onRequest = () => {};
  gate = Promise.resolve();
  vi.useFakeTimers({ toFake: ['setTimeout', 'clearTimeout', 'setInterval', 'clearInterval'] });
});

afterEach(() => {
  vi.useRealTimers();
});

/** A client the server knows at version 1, synced here. */
async function syncedClient(engine: SyncEngine): Promise<string> {
  const uuid = await engine.save('client', { name: 'Salma', phone: '091' });
  await engine.sync();
  expect(await outbox()).toEqual([]);
  return uuid;
}

describe('edits of one record queued behind each other', () => {
  it.each([
    ['an edit', (e: SyncEngine, uuid: string) => e.save('client', { uuid, phone: '092' }), { name: 'Salma B.', phone: '092' }],
    ['a deletion', (e: SyncEngine, uuid: string) => e.remove('client', uuid), undefined],
  ])('%s queued behind an edit in flight is applied, not taken for a conflict', async (_, second, expected) => {
    const engine = makeEngine();
    const uuid = await syncedClient(engine);
    await engine.save('client', { uuid, name: 'Salma B.' });
    // The run fails on the wire, leaving the first edit in flight.
    onRequest = () => {
      throw new TypeError('offline');
    };
    await engine.sync();
    expect((await outbox()).map((o) => o.state)).toEqual(['inflight']);
    await second(engine, uuid);
    onRequest = () => {};
    await vi.advanceTimersByTimeAsync(10_000);
    expect(await outbox()).toEqual([]);
    expect(await db.select('SELECT * FROM dead_letter')).toEqual([]);
    expect(server.live(uuid)).toEqual(expected);
    const row = await one('SELECT name, phone, dirty, version FROM clients WHERE uuid = ?', [uuid]);
    if (expected) expect(row).toEqual({ ...expected, dirty: 0, version: server.records.get(uuid)!.version });
    else expect(row).toBeUndefined();
  });

  it('a change on another device is still a conflict, and the server copy wins', async () => {
    const engine = makeEngine();
    const uuid = await syncedClient(engine);
    server.push([{ op_id: 'elsewhere', entity: 'client', action: 'upsert', uuid, base_version: '1', data: { name: 'Theirs' } }]);
    await engine.save('client', { uuid, name: 'Mine' });
    await engine.sync();
    expect(server.live(uuid)).toMatchObject({ name: 'Theirs' });
    expect(await one('SELECT name, dirty FROM clients WHERE uuid = ?', [uuid])).toEqual({ name: 'Theirs', dirty: 0 });
  });

  it('an edit after a push whose reply was lost queues anew, and the server gets it', async () => {
    const engine = makeEngine();
    const uuid = await syncedClient(engine);
    await engine.save('client', { uuid, name: 'Salma B.' });
    server.loseNextReply = true;
    await engine.sync();
    // Sent once and back to "pending" the way a new run leaves it.
    await db.execute("UPDATE outbox SET state = 'pending'");
    await engine.save('client', { uuid, phone: '093' });
    expect((await outbox()).map((o) => o.attempts)).toEqual([1, 0]);
    await vi.advanceTimersByTimeAsync(10_000);
    expect(server.replays).toBe(1);
    expect(server.live(uuid)).toEqual({ name: 'Salma B.', phone: '093' });
    expect(await one('SELECT name, phone, dirty FROM clients WHERE uuid = ?', [uuid])).toEqual({
      name: 'Salma B.',
      phone: '093',
      dirty: 0,
    });
  });

  it('a record whose create reached the server with its reply lost is deleted there too', async () => {
    const engine = makeEngine();
    const uuid = await engine.save('client', { name: 'Gone' });
    server.loseNextReply = true;
    await engine.sync();
    await db.execute("UPDATE outbox SET state = 'pending'");
    await engine.remove('client', uuid);
    expect((await outbox()).map((o) => o.action)).toEqual(['delete']);
    await vi.advanceTimersByTimeAsync(10_000);
    expect(server.live(uuid)).toBeUndefined();
    expect(await db.select('SELECT * FROM clients')).toEqual([]);
    expect(await outbox()).toEqual([]);
  });
});

describe('batches on their way while verdicts are written', () => {
  it('the next batch goes out before the last verdicts are in, stopping at a record still in flight', async () => {
    const engine = makeEngine();
    const a = await syncedClient(engine);
    await engine.save('client', { uuid: a, name: 'Salma B.' });
    server.loseNextReply = true;
    await engine.sync();
    // The edit of A was sent once: the next one queues behind it.
    await db.execute("UPDATE outbox SET state = 'pending'");
    const b = await engine.save('client', { name: 'B' });
    const c = await engine.save('client', { name: 'C' });
    await engine.save('client', { uuid: a, phone: '093' });
    const d = await engine.save('client', { name: 'D' });
    const name = new Map([[a, 'A'], [b, 'B'], [c, 'C'], [d, 'D']]);
    const events: string[] = [];
    let pulling = false;
    onRequest = (path) => (pulling ||= path.startsWith('/sync/pull'));
    const push = server.push.bind(server);
    vi.spyOn(server, 'push').mockImplementation((ops) => {
      events.push(`push ${ops.map((op) => name.get(op.uuid)).join(' ')}`);
      return push(ops);
    });
    const transaction = db.transaction.bind(db);
    vi.spyOn(db, 'transaction').mockImplementation(async (work) => {
      const result = await transaction(work);
      if (!pulling) events.push('written');
      return result;
    });
    engine.batch = 2;
    await engine.sync();
    expect(events).toEqual(['written', 'push A B', 'push C', 'written', 'push A D', 'written', 'written']);
    expect(server.replays).toBe(1);
    expect(server.live(a)).toEqual({ name: 'Salma B.', phone: '093' });
    expect(await outbox()).toEqual([]);
    expect(await db.select('SELECT * FROM dead_letter')).toEqual([]);
    expect(await one('SELECT phone, version, dirty FROM clients WHERE uuid = ?', [a])).toEqual({
      phone: '093',
      version: server.records.get(a)!.version,
      dirty: 0,
    });
  });

  // After the retry, the next run (its batch doubled) sends the rest; an unanswered operation goes in the same run.
  it.each([
    ['a retry verdict', (op: Op) => ({ op_id: op.op_id, status: 'retry' }), [0, 2, 3]],
    ['an unanswered operation', null, [0, 2]],
  ])('after %s the next batch waits for the verdicts and goes again in order', async (_, answer, second) => {
    const engine = makeEngine();
    const uuids: string[] = [];
    for (const n of ['A', 'B', 'C', 'D']) uuids.push(await engine.save('client', { name: n }));
    const sent: string[][] = [];
    const push = server.push.bind(server);
    let first = true;
    vi.spyOn(server, 'push').mockImplementation((ops) => {
      sent.push(ops.map((op) => op.uuid));
      if (!first) return push(ops);
      first = false;
      const results = push(ops);
      return answer ? [answer(ops[0]!), ...results.slice(1)] : results.slice(1);
    });
    engine.batch = 2;
    await engine.sync();
    await vi.advanceTimersByTimeAsync(20_000);
    expect(sent[0]).toEqual(uuids.slice(0, 2));
    expect(sent[1]).toEqual(second.map((i) => uuids[i]));
    expect(await outbox()).toEqual([]);
    expect(uuids.map((uuid) => server.live(uuid)?.name)).toEqual(['A', 'B', 'C', 'D']);
  });
});

describe('a record removed here', () => {
  it('refuses a later save instead of bringing it back behind its own deletion', async () => {
    const engine = makeEngine();
    const uuid = await syncedClient(engine);
    await engine.remove('client', uuid);
    await expect(engine.save('client', { uuid, phone: '094' })).rejects.toThrow('This record was deleted.');
    expect((await outbox()).map((o) => o.action)).toEqual(['delete']);
    expect(await one('SELECT deleted FROM clients WHERE uuid = ?', [uuid])).toEqual({ deleted: 1 });
  });
});

describe('a reply that settles a sale and carries its product', () => {
  it('merges the product over the settled stock, as one write at a time would', async () => {
    const engine = makeEngine();
    await db.execute("INSERT INTO products (uuid, name, price, stock, version, local_updated_at) VALUES ('p', 'Tea', 1, 10, '1', 'x')");
    server.records.set('p', { kind: 'product', uuid: 'p', id: 1, version: '1', deleted: false, data: { name: 'Tea', price: 1 } });
    server.log.push('p');
    await engine.save('pos_sale', { client_uuid: '', items_json: '[]', invoice_date: '2026-12-10', due_date: '2026-12-10' }, (uuid, db) =>
      db.execute("INSERT INTO stock_holds (sale_uuid, product_uuid, quantity) VALUES (?, 'p', 2)", [uuid]),
    );
    // The server's product copy has no stock field: the local one must stand, settled.
    await engine.save('product', { uuid: 'p', name: 'Green tea' });
    await engine.sync();
    expect(await one("SELECT name, stock, dirty FROM products WHERE uuid = 'p'")).toEqual({ name: 'Green tea', stock: 8, dirty: 0 });
    expect(await db.select('SELECT * FROM stock_holds')).toEqual([]);
  });
});

describe('a refused change that altered other rows', () => {
  it('brings those rows back from the server in the same run', async () => {
    const engine = makeEngine();
    server.push([{ op_id: 's', entity: 'product', action: 'upsert', uuid: 'p', base_version: null, data: { name: 'Tea', price: 1, stock: 5 } }]);
    await engine.sync();
    // An adjustment raises the product's stock here, in the same transaction as its save.
    await engine.save('stock_adjustment', { product_uuid: 'p', delta: 3, reason: 'restock' }, (_, db) =>
      db.execute("UPDATE products SET stock = stock + 3 WHERE uuid = 'p'"),
    );
    expect(await one("SELECT stock FROM products WHERE uuid = 'p'")).toEqual({ stock: 8 });
    server.refuse.add('stock_adjustment');
    await engine.sync();
    expect(await one("SELECT stock FROM products WHERE uuid = 'p'")).toEqual({ stock: 5 });
    expect((await db.select('SELECT reason FROM dead_letter')).length).toBe(1);
  });
});

describe('queued work belongs to its account', () => {
  it('pushes only the signed-in account’s changes, keeps the others and resends a refused one to its own account', async () => {
    const engine = makeEngine();
    const mine = await engine.save('client', { name: 'Company 1' });
    account = { companyId: '2', userId: '7' };
    const theirs = await engine.save('client', { name: 'Company 2' });
    await db.execute(
      "INSERT INTO dead_letter (op_id, entity, uuid, reason, detail_json, created_at, data_json, company_id, user_id) VALUES ('d', 'client', 'r', 'invalid', '{}', 'x', '{\"name\":\"R\"}', '1', '7')",
    );
    await engine.sync();
    expect(server.live(theirs)).toBeDefined();
    expect(server.live(mine)).toBeUndefined();
    expect(statuses.at(-1)).toMatchObject({ pending: 0, attention: 0, otherAccounts: 2 });
    await engine.retry('d');
    await engine.sync();
    expect(server.live('r')).toBeUndefined();
    expect((await outbox()).map((o) => [o.uuid, o.company_id])).toEqual([
      [mine, '1'],
      ['r', '1'],
    ]);
    account = { companyId: '1', userId: '7' };
    await engine.sync();
    expect(server.live(mine)).toBeDefined();
    expect(server.live('r')).toEqual({ name: 'R' });
  });

  it('gives changes made while signed out to the next account that signs in', async () => {
    account = null;
    const engine = makeEngine();
    const uuid = await engine.save('client', { name: 'Offline' });
    await engine.sync();
    expect(paths).toEqual([]);
    account = { companyId: '1', userId: '7' };
    await engine.sync();
    expect(server.live(uuid)).toEqual({ name: 'Offline' });
  });
});

describe('changes nobody owned yet', () => {
  it('go before a later change of their record, even when they arrive while a run is under way', async () => {
    const engine = makeEngine();
    await engine.save('client', { name: 'First' });
    let open!: () => void;
    gate = new Promise((resolve) => (open = resolve));
    const run = engine.sync();
    await vi.advanceTimersByTimeAsync(0);
    // The run waits on its first push: a change is queued signed out, then edited signed in.
    const signedIn = account;
    account = null;
    const uuid = await engine.save('client', { name: 'Unowned' });
    account = signedIn;
    await engine.save('client', { uuid, phone: '095' });
    open();
    await run;
    await vi.advanceTimersByTimeAsync(10_000);
    expect(await db.select('SELECT * FROM dead_letter')).toEqual([]);
    expect(server.live(uuid)).toEqual({ name: 'Unowned', phone: '095' });
  });
});

describe('runs', () => {
  it('a halted run sends nothing more, never reports a lost session, and halt waits for it', async () => {
    const engine = makeEngine();
    for (let i = 0; i < 3; i++) await engine.save('client', { name: `C${i}` });
    engine.batch = 1;
    let halted: Promise<void> | null = null;
    onRequest = () => {
      halted ??= engine.halt();
    };
    const run = engine.sync();
    await vi.advanceTimersByTimeAsync(0);
    await halted;
    await run;
    expect(paths).toHaveLength(1);
    expect(engine.syncing).toBe(false);
    expect(authLost).toBe(0);
    // The sign-out leaves the queue for the next sign-in.
    expect(await outbox()).toHaveLength(3);
  });

  it('a change saved while a run is under way gets a run of its own right after', async () => {
    const engine = makeEngine();
    let release = () => {};
    gate = new Promise((resolve) => (release = resolve));
    const run = engine.sync();
    await vi.advanceTimersByTimeAsync(0);
    const late = await engine.save('client', { name: 'Late' });
    // The save's kick falls due while the run still waits for its pull.
    await vi.advanceTimersByTimeAsync(1_500);
    release();
    await run;
    await vi.advanceTimersByTimeAsync(0);
    expect(server.live(late)).toEqual({ name: 'Late' });
  });

  it('starts a run at once when a session resumes', async () => {
    const engine = makeEngine();
    engine.start();
    await vi.advanceTimersByTimeAsync(0);
    await engine.halt();
    paths = [];
    engine.resume();
    await vi.advanceTimersByTimeAsync(0);
    expect(paths.length).toBeGreaterThan(0);
  });
});
