import { describe, expect, it, vi } from 'vitest';
import { fromBase64, toBase64 } from './browser-backend';
import { createSqlJsBackend } from './sqljs-backend';

type Db = Awaited<ReturnType<typeof createSqlJsBackend>>;

describe('sql.js backend behaves as the host database', () => {
  it.each([
    ['true', [true], 1],
    ['false', [false], 0],
    ['a fraction', [1.5], 1.5],
    ['an integer beyond 32 bits', [2 ** 40 + 1], 2 ** 40 + 1],
    ['an array', [[1, 2]], '[1,2]'],
    ['an object', [{ b: 'x', a: null }], '{"b":"x","a":null}'],
    ['null', [null], null],
  ])('binds %s as the host does', async (_name, params, stored) => {
    const db = await createSqlJsBackend();
    await db.run('CREATE TABLE t (v)', []);
    await db.run('INSERT INTO t VALUES (?)', params);
    expect(await db.query('SELECT v FROM t', [])).toEqual([{ v: stored }]);
  });

  it('orders row keys by name, keeps the later duplicate and turns blobs into null', async () => {
    const db = await createSqlJsBackend();
    const [row] = await db.query("SELECT 1 AS b, 2 AS a, 3 AS a, x'00' AS c, 4 AS \"😀\", 5 AS \"｡\"", []);
    expect(row).toEqual({ a: 3, b: 1, c: null, '😀': 4, '｡': 5 });
    // UTF-8 byte order, which differs from UTF-16 order past U+FFFF.
    expect(Object.keys(row ?? {})).toEqual(['a', 'b', 'c', '｡', '😀']);
  });

  it.each([
    ['run of a query', (db: Db) => db.run('SELECT 1', []), 'Execute returned results - did you mean to call query?'],
    ['two statements', (db: Db) => db.run('SELECT 1; SELECT 2', []), 'Multiple statements provided'],
    ['a syntax error', (db: Db) => db.query('SELEC 1', []), 'near "SELEC": syntax error'],
  ])('rejects %s with the message as a string', async (_name, call, message) => {
    const db = await createSqlJsBackend();
    await expect(call(db)).rejects.toBe(message);
  });

  it('accepts a trailing semicolon and a trailing comment', async () => {
    const db = await createSqlJsBackend();
    await expect(db.query('SELECT 1 AS x; -- done', [])).resolves.toEqual([{ x: 1 }]);
  });
});

describe('saving the development image', () => {
  it('saves after statements outside a transaction and after COMMIT or ROLLBACK only', async () => {
    const save = vi.fn();
    const db = await createSqlJsBackend({ save });
    const steps: [string, boolean][] = [
      ['CREATE TABLE t (v)', true],
      ['BEGIN IMMEDIATE', false],
      ["INSERT INTO t VALUES ('a')", false],
      ['COMMIT', true],
      ['BEGIN IMMEDIATE', false],
      ["INSERT INTO t VALUES ('b')", false],
      ['ROLLBACK', true],
      ["INSERT INTO t VALUES ('c')", true],
    ];
    for (const [sql, saves] of steps) {
      save.mockClear();
      await db.run(sql, []);
      expect(save.mock.calls.length, sql).toBe(saves ? 1 : 0);
    }
  });

  it('reopens from its saved Base64 image', async () => {
    let saved = '';
    const first = await createSqlJsBackend({ save: (image) => (saved = toBase64(image)) });
    await first.run('CREATE TABLE t (v)', []);
    await first.run('INSERT INTO t VALUES (?)', ['kept ✓']);
    const second = await createSqlJsBackend({ image: fromBase64(saved) });
    expect(await second.query('SELECT v FROM t', [])).toEqual([{ v: 'kept ✓' }]);
  });
});
