import { expect, it } from 'vitest';
import { installFakeHost, type FakeHost } from '../bridge/testing';
import type { StorageBackend } from './backend';
import type { Catalogue } from './catalogue';
import type { LocalDb } from './local-db';
import { migrate } from './migrate';
import { openDatabase } from './open';
import { BASE_STATEMENTS, createSchema, MIGRATIONS, SCHEMA_VERSION } from './schema';

// Shared by the unit tests (over sql.js) and the end-to-end tests (over the
// host), which check the same schema facts on both.

export type { FakeHost };

export interface SchemaFacts {
  tables: string[];
  indexes: string[];
  version: string | null;
  columns: Record<string, string[]>;
}

export async function schemaFacts(db: LocalDb): Promise<SchemaFacts> {
  const objects = await db.select<{ type: string; name: string }>(
    "SELECT type, name FROM sqlite_master WHERE name NOT LIKE 'sqlite_%' AND type IN ('table', 'index') ORDER BY name",
  );
  const tables = objects.filter((o) => o.type === 'table').map((o) => o.name);
  const columns: Record<string, string[]> = {};
  for (const table of tables) {
    const info = await db.select<{ name: string }>(`SELECT name FROM pragma_table_info('${table}') ORDER BY cid`);
    columns[table] = info.map((c) => c.name);
  }
  const version = await db.select<{ value: string }>("SELECT value FROM meta WHERE key = 'schema_version'");
  return {
    tables,
    indexes: objects.filter((o) => o.type === 'index').map((o) => o.name),
    version: version[0]?.value ?? null,
    columns,
  };
}

/** Builds the schema as a client at `version` left it, without the runner. */
export async function buildSchemaAt(db: LocalDb, version: number, withVersionRow = true): Promise<void> {
  for (const statement of BASE_STATEMENTS) await db.execute(statement);
  for (const step of MIGRATIONS.slice(0, version)) {
    for (const statement of step) await db.execute(statement);
  }
  if (withVersionRow) {
    await db.execute("INSERT OR REPLACE INTO meta (key, value) VALUES ('schema_version', ?)", [String(version)]);
  }
}

export const NAMED_INDEXES = [
  'dead_letter_unowned',
  'expenses_date',
  'invoices_debt',
  'notes_day',
  'outbox_unowned',
  'outbox_uuid',
  'pos_returns_shift',
  'products_box_barcode',
  'products_box_code',
  'products_search',
  'products_sku',
  'stock_holds_product',
  'treasury_movements_day',
];

/** A fresh database in memory over sql.js, schema up to date, as the unit tests use. */
export async function openMemoryDb(): Promise<LocalDb> {
  return openDatabase(await createMemoryBackend());
}

/** An empty sql.js database in memory, without any table. */
export async function createMemoryBackend(): Promise<StorageBackend> {
  const { createSqlJsBackend } = await import('./sqljs-backend');
  return createSqlJsBackend();
}

// The schema cases, run over sql.js by the unit tests and over the host by
// the end-to-end tests: the migration runner depends on each backend's
// messages. `fresh` gives a database without any table.

async function openAndMigrate(db: LocalDb): Promise<void> {
  await createSchema(db);
  await migrate(db);
}

export function schemaCases(fresh: () => Promise<LocalDb>, catalogue: Catalogue): void {
  // Every table the migrations build is in the catalogue, with the same columns in the same order.
  async function expectComplete(db: LocalDb): Promise<void> {
    const facts = await schemaFacts(db);
    expect(facts.version).toBe(String(SCHEMA_VERSION));
    expect(facts.indexes).toEqual(NAMED_INDEXES);
    expect([...facts.tables].sort()).toEqual(catalogue.tables.map((t) => t.name).sort());
    for (const table of catalogue.tables) expect(facts.columns[table.name], table.name).toEqual(table.columns);
  }

  it('builds a new database to the latest version and a second open changes nothing', async () => {
    const db = await fresh();
    await openAndMigrate(db);
    await expectComplete(db);
    const before = await schemaFacts(db);
    await openAndMigrate(db);
    expect(await schemaFacts(db)).toEqual(before);
  });

  it('finishes a database at version 4 whose products already have pos_quick', async () => {
    const db = await fresh();
    await buildSchemaAt(db, 4);
    await db.execute('ALTER TABLE products ADD COLUMN pos_quick INTEGER NOT NULL DEFAULT 0');
    await openAndMigrate(db);
    await expectComplete(db);
  });

  it('finishes a database that has every table but no version row', async () => {
    const db = await fresh();
    await buildSchemaAt(db, 10, false);
    await openAndMigrate(db);
    await expectComplete(db);
  });

  it('forgets the pull cursor in step 10 and keeps other settings', async () => {
    const db = await fresh();
    await buildSchemaAt(db, 9);
    await db.execute("INSERT INTO meta (key, value) VALUES ('pull_cursor', 'c-41'), ('lang', 'en')");
    await openAndMigrate(db);
    expect(await db.select('SELECT key, value FROM meta ORDER BY key')).toEqual([
      { key: 'lang', value: 'en' },
      { key: 'schema_version', value: String(SCHEMA_VERSION) },
    ]);
  });

  it('rolls a failing step back whole and keeps the previous version', async () => {
    const db = await fresh();
    await buildSchemaAt(db, 7);
    // Step 8 creates treasury_movements, then fails to alter the missing table.
    await db.execute('DROP TABLE expenses');
    await expect(openAndMigrate(db)).rejects.toMatch(/no such table: expenses/);
    const facts = await schemaFacts(db);
    expect(facts.version).toBe('7');
    expect(facts.tables).not.toContain('treasury_movements');
  });

  it('holds the outbox to its CHECK and UNIQUE constraints', async () => {
    const db = await fresh();
    await openAndMigrate(db);
    const insert = 'INSERT INTO outbox (op_id, entity, action, uuid, client_updated_at, state) VALUES (?, ?, ?, ?, ?, ?)';
    const now = '2026-01-01T00:00:00Z';
    await db.execute(insert, ['op-1', 'client', 'upsert', 'u1', now, 'pending']);
    await db.execute(insert, ['op-2', 'client', 'delete', 'u1', now, 'inflight']);
    await expect(db.execute(insert, ['op-3', 'client', 'update', 'u1', now, 'pending'])).rejects.toMatch(
      /CHECK constraint failed/,
    );
    await expect(db.execute(insert, ['op-4', 'client', 'upsert', 'u1', now, 'done'])).rejects.toMatch(
      /CHECK constraint failed/,
    );
    await expect(db.execute(insert, ['op-1', 'client', 'upsert', 'u2', now, 'pending'])).rejects.toMatch(
      /UNIQUE constraint failed: outbox\.op_id/,
    );
    expect(await db.select('SELECT op_id, attempts FROM outbox ORDER BY seq')).toEqual([
      { attempts: 0, op_id: 'op-1' },
      { attempts: 0, op_id: 'op-2' },
    ]);
  });
}

/**
 * A fake host (see bridge/testing) whose database commands run on sql.js,
 * so tests drive the desktop backend through the real invoke envelope.
 * `openFailure` makes every db_open fail with that message.
 */
export async function installFakeHostDatabase(openFailure?: string): Promise<FakeHost> {
  const { createSqlJsBackend } = await import('./sqljs-backend');
  const db = await createSqlJsBackend();
  return installFakeHost({
    handlers: {
      db_open: () => {
        if (openFailure) throw openFailure;
        return null;
      },
      db_execute: async ({ sql, params }) => {
        await db.run(sql, params);
        return null;
      },
      db_select: ({ sql, params }) => db.query(sql, params),
      // As the host runs a list: one unit, undone whole on the first failure.
      db_batch: async ({ statements }) => {
        await db.run('SAVEPOINT tovik_batch', []);
        try {
          for (const { sql, params } of statements) await db.run(sql, params);
        } catch (error) {
          await db.run('ROLLBACK TO tovik_batch', []);
          await db.run('RELEASE tovik_batch', []);
          throw error;
        }
        await db.run('RELEASE tovik_batch', []);
        return null;
      },
    },
  });
}
