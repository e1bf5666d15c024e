import type { StorageBackend } from './backend';
import type { LocalDb } from './local-db';
import { openDatabase } from './open';
import { BASE_STATEMENTS, MIGRATIONS } from './schema';

// Shared by the unit tests (over sql.js) and the end-to-end tests (over the
// host), which check the same schema facts on both.

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
  'expenses_date',
  'invoices_debt',
  'notes_day',
  'outbox_uuid',
  'products_box_barcode',
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
