import { afterEach, describe, expect, it, vi } from 'vitest';
import type { FakeHost } from '../bridge/testing';
import type { StorageBackend } from './backend';
import { SCHEMA_VERSION } from './schema';
import { installFakeHostDatabase } from './testing';
import { LocalDb } from './local-db';
import { createSqlJsBackend } from './sqljs-backend';

// A sql.js backend that records each statement and can be told to fail some.
async function recordingBackend(failOn: (sql: string) => string | null = () => null) {
  const inner = await createSqlJsBackend();
  const log: string[] = [];
  const backend: StorageBackend = {
    async run(sql, params) {
      log.push(sql);
      const failure = failOn(sql);
      if (failure) throw failure;
      await inner.run(sql, params);
    },
    query: (sql, params) => inner.query(sql, params),
  };
  return { backend, log };
}

const create = 'CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT)';

describe('LocalDb transactions', () => {
  it('runs back-to-back transactions in order; a failed first one rolls back and does not block the second', async () => {
    const { backend, log } = await recordingBackend();
    const db = new LocalDb(backend);
    await db.execute(create);
    const first = db.transaction(async () => {
      await db.execute("INSERT INTO t (v) VALUES ('first')");
      throw new Error('work failed');
    });
    const second = db.transaction(async () => {
      await db.execute("INSERT INTO t (v) VALUES ('second')");
      return 'done';
    });
    await expect(first).rejects.toThrow('work failed');
    await expect(second).resolves.toBe('done');
    expect(await db.select('SELECT v FROM t')).toEqual([{ v: 'second' }]);
    expect(log.slice(1)).toEqual([
      'BEGIN IMMEDIATE',
      "INSERT INTO t (v) VALUES ('first')",
      'ROLLBACK',
      'BEGIN IMMEDIATE',
      "INSERT INTO t (v) VALUES ('second')",
      'COMMIT',
    ]);
  });

  it('resolves with the work value only after COMMIT, then calls afterCommit', async () => {
    const { backend, log } = await recordingBackend();
    const events: string[] = [];
    backend.afterCommit = () => {
      events.push(`afterCommit after ${log.at(-1)}`);
    };
    const db = new LocalDb(backend);
    await db.execute(create);
    const value = await db.transaction(async () => {
      await db.execute('INSERT INTO t (v) VALUES (?)', ['x']);
      return { id: 7 };
    });
    events.push(`resolved after ${log.at(-1)}`);
    expect(value).toEqual({ id: 7 });
    expect(events).toEqual(['afterCommit after COMMIT', 'resolved after COMMIT']);
  });

  it('rejects with the work error when ROLLBACK itself fails', async () => {
    const { backend } = await recordingBackend((sql) => (sql === 'ROLLBACK' ? 'cannot rollback - no transaction is active' : null));
    const db = new LocalDb(backend);
    await expect(db.transaction(async () => Promise.reject('UNIQUE constraint failed: t.id'))).rejects.toBe(
      'UNIQUE constraint failed: t.id',
    );
  });

  it('rolls back when COMMIT fails and reports the commit failure', async () => {
    const { backend, log } = await recordingBackend((sql) => (sql === 'COMMIT' ? 'disk I/O error' : null));
    const afterCommit = vi.fn();
    backend.afterCommit = afterCommit;
    const db = new LocalDb(backend);
    await expect(db.transaction(async () => 1)).rejects.toBe('disk I/O error');
    expect(log.slice(-2)).toEqual(['COMMIT', 'ROLLBACK']);
    expect(afterCommit).not.toHaveBeenCalled();
  });

  it('keeps a committed transaction resolved when afterCommit fails', async () => {
    const { backend } = await recordingBackend();
    backend.afterCommit = () => {
      throw new Error('hook broke');
    };
    const quiet = vi.spyOn(console, 'error').mockImplementation(() => {});
    const db = new LocalDb(backend);
    await db.execute(create);
    await expect(db.transaction(() => db.execute("INSERT INTO t (v) VALUES ('kept')"))).resolves.toBeUndefined();
    expect(await db.select('SELECT v FROM t')).toEqual([{ v: 'kept' }]);
    expect(quiet).toHaveBeenCalled();
    quiet.mockRestore();
  });
});

describe('openLocalDb', () => {
  let host: FakeHost | null = null;

  afterEach(() => {
    host?.uninstall();
    host = null;
    vi.resetModules();
  });

  it('opens the host database once and migrates once for concurrent callers', async () => {
    const fake = (host = await installFakeHostDatabase());
    const { openLocalDb } = await import('./open');
    const [a, b, c] = await Promise.all([openLocalDb(), openLocalDb(), openLocalDb()]);
    expect(a).toBe(b);
    expect(b).toBe(c);
    const count = (cmd: string, sql?: string) =>
      fake.calls.filter((call) => call.cmd === cmd && (!sql || JSON.stringify(call.args).includes(sql))).length;
    expect(count('db_open')).toBe(1);
    expect(count('db_execute', "('schema_version', ?)")).toBe(SCHEMA_VERSION);
    expect(await a.select("SELECT value FROM meta WHERE key = 'schema_version'")).toEqual([
      { value: String(SCHEMA_VERSION) },
    ]);
  });

  it('remembers a failed open', async () => {
    const fake = (host = await installFakeHostDatabase('cannot open the encrypted database: file is not a database'));
    const { openLocalDb } = await import('./open');
    await expect(openLocalDb()).rejects.toBe('cannot open the encrypted database: file is not a database');
    await expect(openLocalDb()).rejects.toBe('cannot open the encrypted database: file is not a database');
    expect(fake.calls.filter((call) => call.cmd === 'db_open')).toHaveLength(1);
  });
});
