import { afterEach, beforeAll, beforeEach, describe, expect, it, vi } from 'vitest';
import { watch } from 'vue';
import { catalogue } from '../../app/features';
import { addNotification, clearToasts, navigation, notificationStore, toasts, translate } from '../../shell';
import { META_SCOPES, provideLocalDb, type LocalDb } from '../../storage';
import { openMemoryDb } from '../../storage/testing';
import { clearCompanyCache, currentCompanyId, setServerUrl } from '../api';
import {
  beginSession,
  bootClient,
  checkSession,
  forceSignOut,
  registerSessionHooks,
  session,
  signOut,
  signOutNotice,
  startSession,
  switchCompany,
} from './index';

let db: LocalDb;

type Reply = { status?: number; body?: string };
type Handler = (request: Request) => Reply | Promise<Reply> | undefined;
const requests: Request[] = [];
let handler: Handler = () => undefined;

const meta = async (key: string) =>
  (await db.select<{ value: string }>('SELECT value FROM meta WHERE key = ?', [key]))[0]?.value ?? null;
const count = async (table: string) => (await db.select<{ n: number }>(`SELECT COUNT(*) AS n FROM ${table}`))[0]!.n;
const owner = { name: 'Owner', abilities: ['sync'], features: { cashier: false }, permissions_hash: 'h1' };
const cashier = { name: 'Cashier', abilities: ['sync'], features: { cashier: true }, permissions_hash: 'h2' };
const path = (request: Request) => new URL(request.url).pathname.replace('/mobile/v2', '');
const settle = () => new Promise((r) => setTimeout(r, 20));

function later<T>() {
  let resolve!: (value: T) => void;
  const promise = new Promise<T>((r) => (resolve = r));
  return { promise, resolve };
}

/** A row in every company table of the catalogue and a value under every named meta key. */
async function seedEverything() {
  for (const name of catalogue.companyTables) {
    const columns = catalogue.table(name).columns;
    await db.execute(`INSERT INTO ${name} (${columns.join(', ')}) VALUES (${columns.map(() => "'1'").join(', ')})`);
  }
  for (const key of Object.keys(META_SCOPES))
    if (key !== 'schema_version') await db.execute('INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)', [key, '7']);
}

async function leftOver() {
  const tables: string[] = [];
  for (const name of catalogue.companyTables) if ((await count(name)) > 0) tables.push(name);
  const keys = (await db.select<{ key: string }>("SELECT key FROM meta WHERE key <> 'schema_version' ORDER BY key")).map(
    (r) => r.key,
  );
  return { tables, keys };
}

const keysOf = (...scopes: string[]) =>
  Object.entries(META_SCOPES)
    .filter(([key, scope]) => key !== 'schema_version' && scopes.includes(scope))
    .map(([key]) => key)
    .sort();

async function seedCompanyData() {
  await db.execute("INSERT INTO clients (uuid, name, local_updated_at) VALUES ('c1', 'Client', '2026-12-10T00:00:00Z')");
  await db.execute(
    "INSERT INTO outbox (op_id, entity, action, uuid, client_updated_at) VALUES ('op1', 'client', 'upsert', 'c1', '2026-12-10T00:00:00Z')",
  );
  await db.execute("INSERT INTO dead_letter (op_id, entity, uuid, reason) VALUES ('op0', 'client', 'c0', 'invalid')");
}

beforeAll(async () => {
  db = await openMemoryDb();
  provideLocalDb(db);
  registerSessionHooks({ companyTables: catalogue.companyTables });
});

beforeEach(async () => {
  requests.length = 0;
  handler = () => undefined;
  for (const table of [...catalogue.companyTables, 'outbox', 'dead_letter']) await db.execute(`DELETE FROM ${table}`);
  await db.execute("DELETE FROM meta WHERE key <> 'schema_version'");
  await setServerUrl('http://127.0.0.1:9');
  clearCompanyCache();
  clearToasts();
  sessionStorage.clear();
  localStorage.clear();
  session.profile = null;
  Object.assign(signOutNotice, { revoked: false, message: '', code: '' });
  vi.stubGlobal(
    'fetch',
    vi.fn(async (input: RequestInfo | URL, init?: RequestInit) => {
      const request = new Request(input, init);
      requests.push(request);
      const r = (await handler(request)) ?? {};
      return new Response(r.body ?? '{}', { status: r.status ?? 200 });
    }),
  );
});

afterEach(() => {
  vi.unstubAllGlobals();
});

describe('company switch', () => {
  beforeEach(async () => {
    await db.execute("INSERT INTO meta (key, value) VALUES ('company_id', '7')");
  });

  it('is refused with a pending change, before anything is written', async () => {
    await seedCompanyData();
    const loadProfile = vi.fn();
    await expect(switchCompany(8, loadProfile)).rejects.toThrow('still waiting to be sent');
    expect(loadProfile).not.toHaveBeenCalled();
    expect(await meta('company_id')).toBe('7');
    expect(await count('clients')).toBe(1);
  });

  it.each([
    ['the previous company', '7'],
    ['no company', null],
  ])('puts back %s when the new profile cannot be had', async (_name, previous) => {
    if (previous === null) await db.execute("DELETE FROM meta WHERE key = 'company_id'");
    await expect(switchCompany(8, async () => null)).rejects.toThrow('could not be opened');
    expect(await meta('company_id')).toBe(previous);
    clearCompanyCache();
    expect(await currentCompanyId()).toBe(previous === null ? null : 7);
  });

  it("sends the new company with the profile request and drops the old company data, keeping other accounts' work", async () => {
    await db.execute("INSERT INTO clients (uuid, name, local_updated_at) VALUES ('c1', 'Client', '2026-12-10T00:00:00Z')");
    await db.execute("INSERT INTO meta (key, value) VALUES ('pull_cursor', 'x')");
    // Another account's queued change waits for its own sign-in and does not block the switch.
    await db.execute(
      "INSERT INTO outbox (op_id, entity, action, uuid, client_updated_at, company_id, user_id) VALUES ('theirs', 'client', 'upsert', 'c9', 'x', '3', '9')",
    );
    const seen: (string | null)[] = [];
    await switchCompany(8, async () => {
      seen.push(String(await currentCompanyId()));
      return { name: 'Owner' };
    });
    expect(seen).toEqual(['8']);
    expect(await meta('company_id')).toBe('8');
    expect(await meta('pull_cursor')).toBeNull();
    expect(await count('clients')).toBe(0);
    expect(await count('outbox')).toBe(1);
  });

  it('lets the sync run under way end before it writes anything, and keeps the engine halted for the reload', async () => {
    const steps: string[] = [];
    const run = later<void>();
    const engine = {
      start: vi.fn(),
      kick: vi.fn(),
      halt: vi.fn(async () => {
        await run.promise;
        steps.push('run ended');
      }),
      resume: vi.fn(() => void steps.push('resumed')),
    };
    registerSessionHooks({ syncEngine: engine });
    session.profile = owner;
    try {
      const switching = switchCompany(8, async () => {
        steps.push(`profile for ${await currentCompanyId()}`);
        return owner;
      });
      await settle();
      expect([steps, await meta('company_id')]).toEqual([[], '7']);
      run.resolve();
      await switching;
      expect(steps).toEqual(['run ended', 'profile for 8']);
      await expect(switchCompany(9, async () => null)).rejects.toThrow('could not be opened');
      expect(steps.at(-1)).toBe('resumed');
    } finally {
      registerSessionHooks({ syncEngine: undefined });
    }
  });
});

describe('what the wipes leave', () => {
  beforeEach(async () => {
    await seedEverything();
    sessionStorage.setItem('token', 'tok');
    session.profile = owner;
  });

  it.each<[string, () => Promise<unknown>, string[]]>([
    ['signOut', () => signOut(), keysOf('device').filter((k) => k !== 'company_id')],
    ['forceSignOut', () => forceSignOut('Revoked.', ''), keysOf('device')],
    ['a company switch', () => switchCompany(8, async () => owner), keysOf('device', 'user')],
  ])('%s empties every company table and ends its meta keys', async (_name, end, kept) => {
    await end();
    expect(await leftOver()).toEqual({ tables: [], keys: kept });
  });

  it('forgets the notification list at a forced sign-out too', async () => {
    addNotification({ id: 1, title: 'For the previous user', message: null });
    await forceSignOut('Revoked.', '');
    expect(notificationStore.items).toEqual([]);
  });
});

describe('a stored company at session start', () => {
  const profile = (extra: object) => ({ name: 'P', abilities: [], ...extra });
  it.each<[string, string | null, object, string | null]>([
    ['a member company stays', '2', { companies: [{ id: 1 }, { id: 2 }], company_id: 1 }, '2'],
    ['a foreign company gives way to the own one', '2', { companies: [{ id: 1 }], company_id: 1 }, '1'],
    ['a foreign company without an own one is dropped', '2', { companies: [{ id: 1 }] }, null],
    ['no list of companies changes nothing', '2', {}, '2'],
    ['no stored company stays none', null, { companies: [{ id: 1 }], company_id: 1 }, null],
  ])('%s', async (_name, stored, fields, expected) => {
    if (stored !== null) await db.execute("INSERT INTO meta (key, value) VALUES ('company_id', ?)", [stored]);
    session.profile = profile(fields);
    await startSession();
    expect(await meta('company_id')).toBe(expected);
    clearCompanyCache();
    expect(await currentCompanyId()).toBe(expected === null ? null : Number(expected));
  });

  it("is the user's own by the time a sign-in shows the session's screens", async () => {
    await db.execute("INSERT INTO meta (key, value) VALUES ('company_id', '2')");
    // What a screen's first server call would send, asked the moment the profile shows.
    let sent: Promise<number | null> | null = null;
    const stop = watch(
      () => session.profile,
      () => (sent ??= currentCompanyId()),
      { flush: 'sync' },
    );
    await beginSession(profile({ companies: [{ id: 1 }], company_id: 1 }));
    stop();
    expect(await sent).toBe(1);
  });
});

describe('replies that come back to an ended session', () => {
  beforeEach(() => {
    registerSessionHooks({ syncEngine: undefined });
    sessionStorage.setItem('token', 'owner-token');
  });

  async function signInAgain() {
    sessionStorage.setItem('token', 'cashier-token');
    session.profile = cashier;
    await startSession();
  }

  it.each<[string, () => Promise<unknown>]>([
    ['signOut', () => signOut()],
    ['forceSignOut', () => forceSignOut('Revoked.', '')],
  ])('a late 401 of a check made before %s leaves the next user signed in', async (_name, end) => {
    const late = later<Reply>();
    let checks = 0;
    handler = (r) => (path(r) === '/session/status' && checks++ === 0 ? late.promise : undefined);
    session.profile = owner;
    const check = checkSession();
    await end();
    await signInAgain();
    late.resolve({ status: 401, body: '{"error_code":"SESSION_REVOKED","message":"gone"}' });
    await check;
    await settle();
    expect(session.profile).toEqual(cashier);
    expect(signOutNotice.code).not.toBe('SESSION_REVOKED');
  });

  it('a late profile of a signed-out session is neither stored nor shown', async () => {
    const late = later<Reply>();
    handler = (r) => (path(r) === '/me' ? late.promise : undefined);
    session.profile = owner;
    await startSession();
    await signOut();
    late.resolve({ body: JSON.stringify({ user: { ...owner, name: 'Late' } }) });
    await settle();
    expect([session.profile, await meta('profile')]).toEqual([null, null]);
  });

  it('a sign-in does not wait for a server that never answers the profile', async () => {
    handler = () => new Promise<Reply>(() => {});
    await db.execute("INSERT INTO meta (key, value) VALUES ('profile', ?)", [JSON.stringify(owner)]);
    await bootClient();
    expect([session.ready, session.profile]).toEqual([true, owner]);
  });
});

describe('sign-outs', () => {
  beforeEach(async () => {
    await seedCompanyData();
    sessionStorage.setItem('token', 'tok');
    await db.execute("INSERT INTO meta (key, value) VALUES ('profile', '{}'), ('company_id', '7'), ('lang', 'en')");
    for (const key of ['quillarex.devdb', 'tovik_backup_2026-12-10', 'tovik.sound.muted', 'other', 'tovik.x'])
      localStorage.setItem(key, '1');
    session.profile = owner;
  });

  it('signOut wipes business data but keeps unsent work and the listed browser keys', async () => {
    await signOut();
    expect(session.profile).toBeNull();
    expect(requests.map((r) => new URL(r.url).pathname)).toEqual(['/mobile/v2/logout']);
    expect(sessionStorage.getItem('token')).toBeNull();
    expect([await count('clients'), await count('outbox'), await count('dead_letter')]).toEqual([0, 1, 1]);
    expect([await meta('profile'), await meta('company_id'), await meta('lang')]).toEqual([null, null, 'en']);
    expect(Object.keys(localStorage).sort()).toEqual(['quillarex.devdb', 'tovik.sound.muted', 'tovik_backup_2026-12-10']);
  });

  it('forceSignOut says why, keeps the company, and sends nothing', async () => {
    await forceSignOut('Session revoked.', 'SESSION_REVOKED');
    expect(signOutNotice).toEqual({ revoked: true, message: 'Session revoked.', code: 'SESSION_REVOKED' });
    expect(requests).toEqual([]);
    expect(await meta('company_id')).toBe('7');
    expect([await count('clients'), await count('outbox')]).toEqual([0, 1]);
  });

  it.each([
    ['a suspension', '{"error_code":"ACCOUNT_SUSPENDED","message":"Suspended by the platform."}', 'ACCOUNT_SUSPENDED', 'Suspended by the platform.'],
    ['no error code', '{"message":"ignored"}', '', translate('You were signed out. Sign in again to continue.')],
  ])('a 401 from the session check with %s signs out', async (_name, body, code, message) => {
    handler = () => ({ status: 401, body });
    await checkSession();
    expect(signOutNotice).toMatchObject({ revoked: true, code, message });
    expect(session.profile).toBeNull();
  });

  it('other replies from the session check leave the session alone', async () => {
    handler = () => ({ status: 500, body: 'down' });
    await checkSession();
    expect(session.profile).toEqual(owner);
  });
});

describe('session start', () => {
  it('starts nothing that syncs for a profile without the sync ability', async () => {
    const engine = { start: vi.fn(), halt: vi.fn(), resume: vi.fn(), kick: vi.fn() };
    const startRealtime = vi.fn();
    registerSessionHooks({ syncEngine: engine, startRealtime, homeModule: () => 'portal' });
    sessionStorage.setItem('token', 'tok');
    await db.execute("INSERT INTO meta (key, value) VALUES ('profile', ?)", [JSON.stringify({ name: 'P', abilities: [] })]);
    await bootClient();
    await new Promise((r) => setTimeout(r, 10));
    expect(navigation.tab).toBe('portal');
    expect(engine.start).not.toHaveBeenCalled();
    expect(startRealtime).not.toHaveBeenCalled();
    expect(requests.map((r) => new URL(r.url).pathname)).toEqual(['/api/status']);
  });

  it('restores no session when the token is gone', async () => {
    await db.execute("INSERT INTO meta (key, value) VALUES ('profile', ?)", [JSON.stringify(owner)]);
    await bootClient();
    expect(session.profile).toBeNull();
  });

  it('refreshes the profile on each permission change and toasts only when features change', async () => {
    sessionStorage.setItem('token', 'tok');
    let features = { cashier: false };
    handler = (r) =>
      new URL(r.url).pathname.endsWith('/me') ? { body: JSON.stringify({ user: { ...owner, features } }) } : undefined;
    session.profile = owner;
    await startSession();
    await settle();
    const profileCalls = () => requests.filter((r) => r.url.endsWith('/me')).length;
    const before = profileCalls();
    window.dispatchEvent(new Event('permissions-changed'));
    await settle();
    window.dispatchEvent(new Event('permissions-changed'));
    await settle();
    expect(profileCalls() - before).toBe(2);
    expect(toasts).toHaveLength(0);
    features = { cashier: true };
    window.dispatchEvent(new Event('permissions-changed'));
    await settle();
    expect(toasts.map((t) => t.title)).toEqual(['Your permissions were updated.']);
  });
});
