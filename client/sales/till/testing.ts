// Fixtures for the till's tests and benchmarks: a database in memory, the
// real sync engine (with the app's entities) behind an unreachable server, and products to sell.
import type { LocalDb } from '../../storage';
import { openMemoryDb } from '../../storage/testing';
import type { EntityRegistry, SyncEngine } from '../../sync';
import { unreachableSyncEngine } from '../../sync/testing';
import { TillEngine, type TillEnvironment, type TillProduct } from './engine';

export const DEVICE_ID = '0190a1b2-c3d4-7e5f-8a9b-00000000abcd';

export interface TillFixture {
  db: LocalDb;
  sync: SyncEngine;
  till: TillEngine;
  tenant: Record<string, unknown>;
  features: Record<string, unknown>;
  online: { value: boolean };
  shift: { uuid: string | null };
}

/** A till over a fresh database; the server behind the engine is never reached unless a test syncs. */
export async function tillFixture(
  entities: EntityRegistry,
  tenant: Record<string, unknown> = {},
  db?: LocalDb,
): Promise<TillFixture> {
  const database = db ?? (await openMemoryDb());
  await database.execute("INSERT OR REPLACE INTO meta (key, value) VALUES ('device_id', ?)", [DEVICE_ID]);
  const sync = unreachableSyncEngine(database, entities, DEVICE_ID, true);
  const fixture: TillFixture = {
    db: database,
    sync,
    tenant: { id: 7, currency: 'LYD', ...tenant },
    features: {},
    online: { value: true },
    shift: { uuid: null },
    till: undefined as unknown as TillEngine,
  };
  const env: TillEnvironment = {
    db: database,
    sync,
    tenant: () => fixture.tenant,
    features: () => fixture.features,
    online: () => fixture.online.value,
    shiftUuid: () => fixture.shift.uuid,
  };
  fixture.till = new TillEngine(env);
  return fixture;
}

let serial = 0;

/** A product row as the till reads it, also stored in `products` when a database is given. */
export async function product(fields: Partial<TillProduct> = {}, db?: LocalDb): Promise<TillProduct> {
  serial += 1;
  const row: TillProduct = {
    uuid: `00000000-0000-7000-8000-${String(serial).padStart(12, '0')}`,
    name: `Item ${serial}`,
    sku: `SKU${serial}`,
    price: 10,
    stock: 100,
    type: 'product',
    unit: 'piece',
    box_pieces: 0,
    box_price: null,
    box_barcode: null,
    is_non_depleting: 0,
    ...fields,
  };
  if (db)
    await db.execute(
      'INSERT INTO products (uuid, name, sku, price, stock, type, unit, box_pieces, box_price, box_barcode, is_non_depleting, ' +
        "is_active, deleted, dirty, local_updated_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 1, 0, 0, '2024-01-01T00:00:00Z')",
      [
        row.uuid, row.name, row.sku, row.price, row.stock, row.type ?? 'product', row.unit ?? null, row.box_pieces ?? 0,
        row.box_price ?? null, row.box_barcode ?? null, row.is_non_depleting ?? 0,
      ],
    );
  return row;
}
