import { afterEach, describe, expect, it, vi } from 'vitest';
import type { FakeHost } from '../bridge/testing';
import type { StorageBackend } from './backend';
import { SCHEMA_VERSION } from './schema';
import { installFakeHostDatabase } from './testing';
import { connectLocalDb, TransactionEndedError, type LocalDb } from './local-db';
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
    const db = connectLocalDb(backend);
    await db.execute(create);
    const first = db.transaction(async (db) => {
      await db.execute("INSERT INTO t (v) VALUES ('first')");
      throw new Error('work failed');
    });
    const second = db.transaction(async (db) => {
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
    const db = connectLocalDb(backend);
    await db.execute(create);
    const value = await db.transaction(async (db) => {
      await db.execute('INSERT INTO t (v) VALUES (?)', ['x']);
      return { id: 7 };
    });
    events.push(`resolved after ${log.at(-1)}`);
    expect(value).toEqual({ id: 7 });
    expect(events).toEqual(['afterCommit after COMMIT', 'resolved after COMMIT']);
  });

  it('rejects with the work error when ROLLBACK itself fails', async () => {
    const { backend } = await recordingBackend((sql) => (sql === 'ROLLBACK' ? 'cannot rollback - no transaction is active' : null));
    const db = connectLocalDb(backend);
    await expect(db.transaction(async () => Promise.reject('UNIQUE constraint failed: t.id'))).rejects.toBe(
      'UNIQUE constraint failed: t.id',
    );
  });

  it('rolls back when COMMIT fails and reports the commit failure', async () => {
    const { backend, log } = await recordingBackend((sql) => (sql === 'COMMIT' ? 'disk I/O error' : null));
    const afterCommit = vi.fn();
    backend.afterCommit = afterCommit;
    const db = connectLocalDb(backend);
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
    const db = connectLocalDb(backend);
    await db.execute(create);
    await expect(db.transaction((db) => db.execute("INSERT INTO t (v) VALUES ('kept')"))).resolves.toBeUndefined();
    expect(await db.select('SELECT v FROM t')).toEqual([{ v: 'kept' }]);
    expect(quiet).toHaveBeenCalled();
    quiet.mockRestore();
  });
});

describe('LocalDb writes beside a transaction', () => {
  // The plain write is issued while the transaction is between BEGIN and its end.
  it.each([
    { ending: 'commits', fail: false, rows: ['in transaction', 'plain'], end: 'COMMIT' },
    { ending: 'rolls back', fail: true, rows: ['plain'], end: 'ROLLBACK' },
  ])('lands after a transaction that $ending, and is kept', async ({ fail, rows, end }) => {
    const { backend, log } = await recordingBackend();
    const db = connectLocalDb(backend);
    await db.execute(create);
    let issuePlain!: () => void;
    const began = new Promise<void>((resolve) => (issuePlain = resolve));
    let plain: Promise<void> | null = null;
    const running = db.transaction(async (tx) => {
      await tx.execute("INSERT INTO t (v) VALUES ('in transaction')");
      issuePlain();
      // Give the plain write every chance to reach the backend first.
      await new Promise((resolve) => setTimeout(resolve, 0));
      if (fail) throw new Error('work failed');
    });
    await began;
    plain = db.execute("INSERT INTO t (v) VALUES ('plain')");
    await running.catch(() => {});
    await plain;
    expect((await db.select<{ v: string }>('SELECT v FROM t ORDER BY id')).map((r) => r.v)).toEqual(rows);
    expect(log.slice(-3)).toEqual(["INSERT INTO t (v) VALUES ('in transaction')", end, "INSERT INTO t (v) VALUES ('plain')"]);
  });

  it('undoes only a failed nested transaction, and refuses a handle used after its transaction', async () => {
    const { backend } = await recordingBackend();
    const db = connectLocalDb(backend);
    await db.execute(create);
    let kept: LocalDb | null = null;
    await db.transaction(async (tx) => {
      kept = tx;
      await tx.execute("INSERT INTO t (v) VALUES ('outer')");
      await expect(
        tx.transaction(async (inner) => {
          await inner.execute("INSERT INTO t (v) VALUES ('inner')");
          throw new Error('inner failed');
        }),
      ).rejects.toThrow('inner failed');
      await tx.transaction((inner) => inner.execute("INSERT INTO t (v) VALUES ('inner kept')"));
    });
    expect((await db.select<{ v: string }>('SELECT v FROM t ORDER BY id')).map((r) => r.v)).toEqual(['outer', 'inner kept']);
    await expect(kept!.execute("INSERT INTO t (v) VALUES ('late')")).rejects.toBeInstanceOf(TransactionEndedError);
    expect(await db.select('SELECT COUNT(*) AS n FROM t')).toEqual([{ n: 2 }]);
  });
});

describe('LocalDb statement lists', () => {
  let host: FakeHost | null = null;
  afterEach(() => {
    host?.uninstall();
    host = null;
  });
  const backends = {
    'one statement at a time': async () => (await recordingBackend()).backend,
    'the host in one call': async () => {
      host = await installFakeHostDatabase();
      const { createDesktopBackend } = await import('./desktop-backend');
      return createDesktopBackend();
    },
  };
  const values = (db: LocalDb) => db.select<{ v: string }>('SELECT v FROM t ORDER BY id').then((r) => r.map((x) => x.v));
  const insert = (v: string) => ({ sql: 'INSERT INTO t (v) VALUES (?)', params: [v] });
  const broken = { sql: 'INSERT INTO missing (v) VALUES (?)', params: ['x'] };

  it.each(Object.entries(backends))('is one unit on its own or inside a transaction (%s)', async (_, make) => {
    const db = connectLocalDb(await make());
    await db.execute(create);
    await db.batch([insert('a'), insert('b')]);
    await expect(db.batch([insert('c'), broken])).rejects.toMatch(/no such table: missing/);
    expect(await values(db)).toEqual(['a', 'b']);
    await db.transaction(async (tx) => {
      await tx.execute("INSERT INTO t (v) VALUES ('outer')");
      await expect(tx.batch([insert('listed'), broken])).rejects.toMatch(/no such table/);
      await tx.batch([insert('kept')]);
    });
    expect(await values(db)).toEqual(['a', 'b', 'outer', 'kept']);
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
