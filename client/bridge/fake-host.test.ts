import { afterEach, describe, expect, it } from 'vitest';
import { installFakeHost } from './fake-host';
import { invoke, onHostEvent } from './index';

describe('fake host', () => {
  let uninstall = () => {};
  afterEach(() => uninstall());

  it('refuses like the host: missing keys, unknown commands, unimplemented ones', async () => {
    ({ uninstall } = installFakeHost());
    await expect(invoke('db_select', { sql: 'SELECT 1' } as never)).rejects.toBe(
      'command db_select missing required key params',
    );
    await expect(invoke('no_such' as never)).rejects.toBe('command no_such not found');
    await expect(invoke('db_open')).rejects.toMatch(/no database/);
  });

  it('runs supplied handlers on JSON copies and emits host events', async () => {
    const host = installFakeHost({
      handlers: { db_select: ({ params }) => [{ first: params[0] ?? null }] },
    });
    uninstall = host.uninstall;
    const params = [{ nested: true }];
    await expect(invoke('db_select', { sql: 'SELECT ?', params })).resolves.toEqual([{ first: { nested: true } }]);
    expect(host.calls[0]!.args).not.toBe(params);

    const seen: unknown[] = [];
    const stop = onHostEvent('update-progress', (p) => seen.push(p));
    host.emit('update-progress', [1, 2]);
    stop();
    expect(seen).toEqual([[1, 2]]);
  });
});
