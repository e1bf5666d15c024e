import { afterEach, beforeEach, describe, expect, it } from 'vitest';
import { installFakeHost, type FakeHost } from './testing';
import { readSecret, writeSecret } from './index';

const arabic = 'مفتاح سري ١٢٣';

describe('secrets through the host', () => {
  let host: FakeHost;
  beforeEach(() => {
    host = installFakeHost();
  });
  afterEach(() => host.uninstall());

  it('stores, reads, replaces and deletes through the secret commands', async () => {
    expect(await readSecret('token')).toBeNull();
    await writeSecret('token', 'first');
    await writeSecret('token', arabic);
    expect(await readSecret('token')).toBe(arabic);
    await writeSecret('token', null);
    await writeSecret('token', null);
    expect(await readSecret('token')).toBeNull();

    expect(host.calls.map((c) => [c.cmd, c.args])).toEqual([
      ['secret_get', { key: 'token' }],
      ['secret_set', { key: 'token', value: 'first' }],
      ['secret_set', { key: 'token', value: arabic }],
      ['secret_get', { key: 'token' }],
      ['secret_delete', { key: 'token' }],
      ['secret_delete', { key: 'token' }],
      ['secret_get', { key: 'token' }],
    ]);
    expect(sessionStorage.getItem('token')).toBeNull();
  });

  it("passes the host's failure message on unchanged and keeps the old value", async () => {
    await writeSecret('pin_hash', 'old');
    const failure = await writeSecret('pin_hash', 'x'.repeat(1281)).catch((e: unknown) => e);
    expect(failure).toBe('secret pin_hash is longer than 1280 characters');
    expect(await readSecret('pin_hash')).toBe('old');
  });
});

describe('secrets without a host', () => {
  beforeEach(() => sessionStorage.clear());

  it('uses the session storage item of that name', async () => {
    expect(await readSecret('backup_key')).toBeNull();
    await writeSecret('backup_key', arabic);
    expect(sessionStorage.getItem('backup_key')).toBe(arabic);
    expect(await readSecret('backup_key')).toBe(arabic);
    await writeSecret('backup_key', null);
    expect(sessionStorage.getItem('backup_key')).toBeNull();
  });
});
