// The table catalogue: one row per local table, saying which columns a
// synchronised table has after the last migration, whether the table holds
// one company's data (wiped at sign-out and company switch) and whether a
// backup carries it. Features declare their own tables; the app assembles
// the catalogue from them and the storage's own tables.

const IDENTITY = ['uuid', 'server_id'] as const;
const SYNC_STATE = ['version', 'dirty', 'deleted', 'local_updated_at'] as const;

export interface TableSpec {
  name: string;
  /** Every column, in table order; a server record is written with only these keys. */
  columns: readonly string[];
  /** Rows carry the record columns (uuid, version, dirty, deleted) and sync with the server. */
  synced: boolean;
  /** Holds one company's business data. */
  companyData: boolean;
  inBackup: boolean;
}

/**
 * A synchronised table: identity first, then its own columns, then the sync
 * state, then the columns later migrations added.
 */
export function syncedTable(name: string, own: readonly string[], added: readonly string[] = []): TableSpec {
  return {
    name,
    columns: [...IDENTITY, ...own, ...SYNC_STATE, ...added],
    synced: true,
    companyData: true,
    inBackup: true,
  };
}

/** A table kept on this device only. */
export function localTable(
  name: string,
  columns: readonly string[],
  flags: Pick<TableSpec, 'companyData' | 'inBackup'>,
): TableSpec {
  return { name, columns, synced: false, ...flags };
}

/** The storage's own tables: the outbox, refused changes and the key/value store. */
export const STORAGE_TABLES: readonly TableSpec[] = [
  localTable(
    'outbox',
    [
      'seq', 'op_id', 'entity', 'action', 'uuid', 'base_version', 'client_updated_at', 'data_json', 'state', 'attempts',
      'company_id', 'user_id',
    ],
    { companyData: false, inBackup: true },
  ),
  localTable(
    'dead_letter',
    ['op_id', 'entity', 'uuid', 'reason', 'detail_json', 'created_at', 'data_json', 'company_id', 'user_id'],
    { companyData: false, inBackup: true },
  ),
  localTable('meta', ['key', 'value'], { companyData: false, inBackup: true }),
];

export class Catalogue {
  private readonly byName = new Map<string, TableSpec>();

  constructor(tables: readonly TableSpec[]) {
    for (const table of tables) {
      if (this.byName.has(table.name)) throw new Error(`table ${table.name} is declared twice`);
      this.byName.set(table.name, table);
    }
  }

  get tables(): TableSpec[] {
    return [...this.byName.values()];
  }

  has(name: string): boolean {
    return this.byName.has(name);
  }

  table(name: string): TableSpec {
    const spec = this.byName.get(name);
    if (!spec) throw new Error(`unknown table: ${name}`);
    return spec;
  }

  /** The columns a synchronised table accepts from a record. */
  columns(name: string): readonly string[] {
    const spec = this.table(name);
    if (!spec.synced) throw new Error(`${name} is not a synchronised table`);
    return spec.columns;
  }

  /** What a sign-out, a company switch and a data reset empty. */
  get companyTables(): string[] {
    return this.tables.filter((t) => t.companyData).map((t) => t.name);
  }

  get backupTables(): string[] {
    return this.tables.filter((t) => t.inBackup).map((t) => t.name);
  }
}
