import { beforeEach, describe, expect, it } from 'vitest';
import { catalogue } from '../../app/features';
import type { LocalDb } from '../../storage';
import { openMemoryDb } from '../../storage/testing';
import { RowBatch } from './row-batch';

let db: LocalDb;

beforeEach(async () => {
  db = await openMemoryDb();
  await db.execute(
    "INSERT INTO products (uuid, name, price, stock, local_updated_at) VALUES ('stored', 'Stored', 5, 7, 'x')",
  );
});

const product = (uuid: string, name: string) => ({ uuid, name, price: 1, stock: 0, local_updated_at: 't' });
const names = async () =>
  (await db.select<{ uuid: string; name: string }>('SELECT uuid, name FROM products ORDER BY uuid')).map(
    (r) => `${r.uuid}:${r.name}`,
  );

type Step = ['write', string, string] | ['remove', string];

describe('RowBatch', () => {
  // Each flushed batch must leave what the same writes would, applied one by one.
  it.each<[string, Step[], string[]]>([
    ['a new row', [['write', 'new', 'N']], ['new:N', 'stored:Stored']],
    ['a stored row replaced', [['write', 'stored', 'S2']], ['stored:S2']],
    ['the later of two writes', [['write', 'new', 'N1'], ['write', 'new', 'N2']], ['new:N2', 'stored:Stored']],
    ['a write then its removal', [['write', 'new', 'N'], ['remove', 'new']], ['stored:Stored']],
    ['a stored row written then removed', [['write', 'stored', 'S2'], ['remove', 'stored']], []],
    ['a removal then a new write', [['remove', 'stored'], ['write', 'stored', 'S3']], ['stored:S3']],
  ])('%s', async (_, steps, expected) => {
    const batch = new RowBatch(db);
    for (const step of steps)
      if (step[0] === 'write') batch.write('products', product(step[1], step[2]), catalogue.columns('products'));
      else batch.remove('products', step[1]);
    await batch.flush();
    expect(await names()).toEqual(expected);
  });

  it('writes rows of different shapes and more rows than one statement holds', async () => {
    const batch = new RowBatch(db);
    const many = 3000; // 15,000 parameters at five columns a row
    for (let i = 0; i < many; i++) batch.write('products', product(`p${i}`, `P${i}`), catalogue.columns('products'));
    // Absent columns take their defaults, explicit nulls stay null, unknown keys are not written.
    batch.write('products', { uuid: 'lean', name: 'L', price: 2, sku: null, local_updated_at: 't', colour: 'red' }, catalogue.columns('products'));
    await batch.flush();
    expect((await db.select('SELECT COUNT(*) AS n FROM products'))[0]?.n).toBe(many + 1 + 1);
    expect(await db.select("SELECT sku, stock, is_active FROM products WHERE uuid = 'lean'")).toEqual([
      { sku: null, stock: 0, is_active: 1 },
    ]);
  });

  it('drops queued operations by sequence and by record', async () => {
    for (const [op, uuid] of [['o1', 'a'], ['o2', 'a'], ['o3', 'b'], ['o4', 'c']] as const)
      await db.execute(
        "INSERT INTO outbox (op_id, entity, action, uuid, client_updated_at) VALUES (?, 'product', 'upsert', ?, 'x')",
        [op, uuid],
      );
    const batch = new RowBatch(db);
    batch.removeQueued('product', 'a');
    batch.removeOperation(3);
    await batch.flush();
    expect(await db.select('SELECT op_id FROM outbox')).toEqual([{ op_id: 'o4' }]);
  });
});
