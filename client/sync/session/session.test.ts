import { afterEach, beforeAll, beforeEach, describe, expect, it, vi } from 'vitest';
import { catalogue } from '../../app/features';
import { clearToasts, navigation, toasts, translate } from '../../shell';
import { provideLocalDb, type LocalDb } from '../../storage';
import { openMemoryDb } from '../../storage/testing';
import { clearCompanyCache, currentCompanyId, setServerUrl } from '../api';
import {
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

type Handler = (request: Request) => { status?: number; body?: string } | undefined;
const requests: Request[] = [];
let handler: Handler = () => undefined;

const meta = async (key: string) =>
  (await db.select<{ value: string }>('SELECT value FROM meta WHERE key = ?', [key]))[0]?.value ?? null;
const count = async (table: string) => (await db.select<{ n: number }>(`SELECT COUNT(*) AS n FROM ${table}`))[0]!.n;
const owner = { name: 'Owner', abilities: ['sync'], features: { cashier: false }, permissions_hash: 'h1' };

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
  for (const table of ['clients', 'outbox', 'dead_letter']) await db.execute(`DELETE FROM ${table}`);
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
      const r = handler(request) ?? {};
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

  it('sends the new company with the profile request and drops the old company data', async () => {
    await db.execute("INSERT INTO clients (uuid, name, local_updated_at) VALUES ('c1', 'Client', '2026-12-10T00:00:00Z')");
    await db.execute("INSERT INTO meta (key, value) VALUES ('pull_cursor', 'x')");
    const seen: (string | null)[] = [];
    await switchCompany(8, async () => {
      seen.push(String(await currentCompanyId()));
      return { name: 'Owner' };
    });
    expect(seen).toEqual(['8']);
    expect(await meta('company_id')).toBe('8');
    expect(await meta('pull_cursor')).toBeNull();
    expect(await count('clients')).toBe(0);
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
    const profileCalls = () => requests.filter((r) => r.url.endsWith('/me')).length;
    const settle = () => new Promise((r) => setTimeout(r, 20));
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
