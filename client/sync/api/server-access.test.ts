import { afterEach, beforeAll, beforeEach, describe, expect, it, vi } from 'vitest';
import { readSecret } from '../../bridge';
import { provideLocalDb, type LocalDb } from '../../storage';
import { openMemoryDb } from '../../storage/testing';

// One in-memory database with the real schema stands in for the host's.
let db: LocalDb;

const {
  apiBase,
  apiFetch,
  checkServerStatus,
  clearCompanyCache,
  fetchProfile,
  isOlderVersion,
  leaveMaintenance,
  maintenanceState,
  MaintenanceError,
  resetPassword,
  restoreRequiredUpdate,
  setPermissionsHash,
  setServerUrl,
  signIn,
  updateState,
  UpgradeRequiredError,
  currentCompanyId,
  provideApiSession,
  DEFAULT_SERVER_URL,
  LEGACY_SERVER_HOST,
} = await import('./index');

// As the session provides it.
provideApiSession({ token: () => readSecret('token'), companyId: currentCompanyId });

type Reply = { status?: number; body?: string; headers?: Record<string, string> };
const requests: Request[] = [];
let nextReply: Reply | Error = {};

function reply(r: Reply | Error) {
  nextReply = r;
}

const meta = async (key: string) =>
  (await db.select<{ value: string }>('SELECT value FROM meta WHERE key = ?', [key]))[0]?.value ?? null;

beforeAll(async () => {
  db = await openMemoryDb();
  provideLocalDb(db);
});

beforeEach(async () => {
  requests.length = 0;
  nextReply = {};
  sessionStorage.clear();
  await db.execute("DELETE FROM meta WHERE key <> 'schema_version'");
  clearCompanyCache();
  setPermissionsHash(null);
  leaveMaintenance();
  updateState.required = null;
  await setServerUrl('http://127.0.0.1:9/');
  vi.stubGlobal(
    'fetch',
    vi.fn(async (input: RequestInfo | URL, init?: RequestInit) => {
      requests.push(new Request(input, init));
      if (nextReply instanceof Error) throw nextReply;
      return new Response(nextReply.body ?? '{}', { status: nextReply.status ?? 200, headers: nextReply.headers });
    }),
  );
});

afterEach(() => {
  vi.unstubAllGlobals();
});

describe('server address', () => {
  it.each([
    ['trailing slashes', 'http://127.0.0.1:9000///', 'http://127.0.0.1:9000/mobile/v2'],
    ['spaces around it', '  http://127.0.0.1:9000  ', 'http://127.0.0.1:9000/mobile/v2'],
    ['the legacy origin', `https://${LEGACY_SERVER_HOST.toUpperCase()}/`, `${DEFAULT_SERVER_URL}/mobile/v2`],
    ['the legacy origin over http', `http://${LEGACY_SERVER_HOST}`, `${DEFAULT_SERVER_URL}/mobile/v2`],
    ['the legacy host with a path', `https://${LEGACY_SERVER_HOST}/app`, `https://${LEGACY_SERVER_HOST}/app/mobile/v2`],
    ['nothing stored', '', `${DEFAULT_SERVER_URL}/mobile/v2`],
  ])('%s', async (_name, stored, base) => {
    await setServerUrl(stored);
    expect(await apiBase()).toBe(base);
  });
});

describe('apiFetch headers', () => {
  beforeEach(async () => {
    sessionStorage.setItem('token', 'tok-1');
    await db.execute("INSERT OR REPLACE INTO meta (key, value) VALUES ('company_id', '42')");
  });

  it('identifies the client and signs in with the token and company', async () => {
    await apiFetch('/me', { headers: { Accept: 'text/plain' } });
    const [sent] = requests;
    expect(sent?.url).toBe('http://127.0.0.1:9/mobile/v2/me');
    expect(Object.fromEntries([...sent!.headers].map(([k, v]) => [k.toLowerCase(), v]))).toEqual({
      accept: 'application/json',
      authorization: 'Bearer tok-1',
      'x-app-platform': 'windows',
      'x-app-version': '1.43.0',
      'x-company-id': '42',
    });
  });

  it('sends neither token nor company with auth false, and types a body as JSON', async () => {
    await apiFetch('/login', { method: 'POST', auth: false, body: '{}' });
    await apiFetch('/upload', { method: 'POST', body: 'x', headers: { 'Content-Type': 'text/csv' } });
    expect(requests[0]!.headers.has('authorization')).toBe(false);
    expect(requests[0]!.headers.has('x-company-id')).toBe(false);
    expect(requests[0]!.headers.get('content-type')).toBe('application/json');
    expect(requests[1]!.headers.get('content-type')).toBe('text/csv');
  });

  it.each([
    ['missing', null],
    ['zero', '0'],
    ['not a number', 'abc'],
    ['empty', ''],
  ])('sends no company when the stored id is %s', async (_name, stored) => {
    clearCompanyCache();
    if (stored === null) await db.execute("DELETE FROM meta WHERE key = 'company_id'");
    else await db.execute("INSERT OR REPLACE INTO meta (key, value) VALUES ('company_id', ?)", [stored]);
    await apiFetch('/me');
    expect(requests[0]!.headers.has('x-company-id')).toBe(false);
  });
});

describe('apiFetch server-wide states', () => {
  it.each([
    ['no hash known yet', null, 'h2', false],
    ['the same hash', 'h1', 'h1', false],
    ['no hash in the reply', 'h1', undefined, false],
    ['a different hash', 'h1', 'h2', true],
  ])('permissions: %s', async (_name, known, sent, raised) => {
    setPermissionsHash(known);
    const listener = vi.fn();
    window.addEventListener('permissions-changed', listener);
    reply({ headers: sent ? { 'X-Permissions-Hash': sent } : {} });
    await apiFetch('/me');
    window.removeEventListener('permissions-changed', listener);
    expect(listener).toHaveBeenCalledTimes(raised ? 1 : 0);
  });

  it('enters maintenance on a 503 that says so', async () => {
    reply({ status: 503, body: '{"error_code":"MAINTENANCE","message":"back at 10"}' });
    await expect(apiFetch('/sync/pull')).rejects.toBeInstanceOf(MaintenanceError);
    expect(maintenanceState).toMatchObject({ active: true, message: 'back at 10' });
  });

  it.each([
    ['a body that is not JSON', '<html>busy</html>'],
    ['another error code', '{"error_code":"OVERLOADED"}'],
  ])('hands back a 503 with %s', async (_name, body) => {
    reply({ status: 503, body });
    const response = await apiFetch('/sync/pull');
    expect(response.status).toBe(503);
    expect(await response.text()).toBe(body);
    expect(maintenanceState.active).toBe(false);
  });

  it('records a required update from a 426 even with an empty body', async () => {
    reply({ status: 426, body: '' });
    await expect(apiFetch('/me')).rejects.toBeInstanceOf(UpgradeRequiredError);
    expect(updateState.required).toEqual({});
    expect(await meta('update_required')).toBe('{}');
  });
});

describe('status poll', () => {
  it('enters and leaves maintenance, and keeps the state when offline', async () => {
    reply({ body: '{"maintenance":true,"message":"soon"}' });
    expect(await checkServerStatus()).toBe(true);
    expect(requests[0]!.url).toBe('http://127.0.0.1:9/api/status');
    expect(requests[0]!.headers.has('authorization')).toBe(false);
    reply(new TypeError('Failed to fetch'));
    expect(await checkServerStatus()).toBe(true);
    reply({ body: 'not json' });
    expect(await checkServerStatus()).toBe(true);
    reply({ body: '{"maintenance":false}' });
    expect(await checkServerStatus()).toBe(false);
  });
});

describe('versions', () => {
  it.each([
    ['1.43.0', '1.43', false],
    ['1.9.9', '1.10.0', true],
    ['2.0.0-beta', '2.0.0', false],
    ['1.42.9', '1.43.0', true],
    ['1.43.0', '1.43.0', false],
    ['1.44.0', '1.43.9', false],
    ['1.x.0', '1.43.0', false],
  ])('%s older than %s: %s', (a, b, older) => {
    expect(isOlderVersion(a, b)).toBe(older);
  });

  it.each([
    ['not newer', '{"min_version":"1.43.0"}', null],
    ['newer', '{"min_version":"1.44.0","release":{"version":"1.44.0"}}', { min_version: '1.44.0' }],
    ['not JSON', '{', null],
  ])('a stored required update that is %s', async (_name, stored, restored) => {
    await db.execute("INSERT INTO meta (key, value) VALUES ('update_required', ?)", [stored]);
    await restoreRequiredUpdate();
    if (restored) {
      expect(updateState.required).toMatchObject(restored);
      expect(await meta('update_required')).toBe(stored);
    } else {
      expect(updateState.required).toBeNull();
      expect(await meta('update_required')).toBeNull();
    }
  });
});

describe('account calls', () => {
  it('stores the token and the profile after a sign-in', async () => {
    reply({ body: '{"token":"t-9","user":{"name":"Owner"}}' });
    await expect(signIn('owner@demo.test', 'pw')).resolves.toEqual({ name: 'Owner' });
    expect(sessionStorage.getItem('token')).toBe('t-9');
    expect(JSON.parse((await meta('profile'))!)).toEqual({ name: 'Owner' });
    const body = JSON.parse(await requests[0]!.text());
    expect(body).toMatchObject({ email: 'owner@demo.test', password: 'pw' });
    expect(body.device_name).toMatch(/^TOVIK pro · desktop · [0-9a-f-]{8}$/);
  });

  it.each([
    ['a suspended account', 403, '{"error_code":"ACCOUNT_SUSPENDED","message":"Suspended."}', 'ACCOUNT_SUSPENDED', 'Suspended.'],
    ['a wrong password', 422, '{"message":"Wrong e-mail or password."}', 'Error', 'Wrong e-mail or password.'],
    ['no message', 500, 'oops', 'Error', 'HTTP 500'],
    ['success without a token', 200, '{"user":{}}', 'Error', 'HTTP 200'],
  ])('refuses %s', async (_name, status, body, name, message) => {
    reply({ status, body });
    const error = await signIn('a@b.test', 'x').catch((e: Error) => e);
    expect(error).toMatchObject({ name, message });
    expect(sessionStorage.getItem('token')).toBeNull();
  });

  it('returns the second-factor challenge', async () => {
    reply({ status: 202, body: '{"otp_required":true,"challenge":"c1","message":"Code sent"}' });
    await expect(signIn('a@b.test', 'x')).resolves.toEqual({ otpRequired: true, challenge: 'c1', message: 'Code sent' });
  });

  it.each([
    ['errors, flattened', '{"errors":{"code":["Bad code."],"password":["Too short.","Too plain."]}}', 'Bad code. Too short. Too plain.'],
    ['a message', '{"message":"Expired."}', 'Expired.'],
    ['nothing', '', 'HTTP 422'],
  ])('explains a refused password reset with %s', async (_name, body, message) => {
    reply({ status: 422, body });
    await expect(resetPassword('a@b.test', '1234', 'secret')).rejects.toThrow(message);
  });

  it('gives no profile on failure, without raising', async () => {
    reply({ status: 401, body: '{}' });
    await expect(fetchProfile()).resolves.toBeNull();
    reply(new TypeError('Failed to fetch'));
    await expect(fetchProfile()).resolves.toBeNull();
  });
});
