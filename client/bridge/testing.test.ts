import { afterEach, describe, expect, it } from 'vitest';
import { installFakeHost } from './testing';
import { invoke, onHostEvent } from './index';

describe('fake host', () => {
  let uninstall = () => {};
  afterEach(() => uninstall());

  it('refuses like the host: missing keys, unknown commands, unimplemented ones', async () => {
    ({ uninstall } = installFakeHost());
    await expect(invoke('db_select', { sql: 'SELECT 1' } as never)).rejects.toBe(
      'command db_select missing required key params',
    );
    const untyped = invoke as (cmd: string) => Promise<unknown>;
    await expect(untyped('no_such')).rejects.toBe('command no_such not found');
    await expect(invoke('db_open')).rejects.toMatch(/no database/);
  });

  it('runs supplied handlers on what JSON carries and emits host events', async () => {
    const host = installFakeHost({
      handlers: { db_select: ({ params }) => [{ first: JSON.stringify(params) }] },
    });
    uninstall = host.uninstall;
    const params = [new Date(0), undefined];
    await expect(invoke('db_select', { sql: 'SELECT ?, ?', params: params as never })).resolves.toEqual([
      { first: '["1970-01-01T00:00:00.000Z",null]' },
    ]);

    const seen: unknown[] = [];
    const stop = onHostEvent('update-progress', (p) => seen.push(p));
    host.emit('update-progress', [1, 2]);
    stop();
    expect(seen).toEqual([[1, 2]]);
  });
});
