import { expect, it } from 'vitest';
import { entities } from '../../app/features';
import { openMemoryDb } from '../../storage/testing';
import { Merge } from './merge';

it('merges records of two entities kept in one table as one row, later records over earlier ones', async () => {
  const db = await openMemoryDb();
  const merge = new Merge(db, entities);
  await merge.prepare('pos_sale', ['s1']);
  merge.adopt('pos_sale', { uuid: 's1', id: 7, client_uuid: 'c', due_date: 'd', notes: 'from the till', items: [] }, true);
  // Read after the sale was decided: the stored (absent) row must not replace it.
  await merge.prepare('invoice', ['s1']);
  merge.adopt('invoice', { uuid: 's1', id: 7, status: 'paid' }, true);
  await merge.flush();
  expect(await db.select('SELECT uuid, notes, status, client_uuid FROM invoices')).toEqual([
    { uuid: 's1', notes: 'from the till', status: 'paid', client_uuid: 'c' },
  ]);
});
