// Local storage: the LocalDb facade over the host's encrypted database or
// sql.js, the schema and its append-only migrations, the table catalogue,
// typed meta keys and the one routine that wipes a company's data.
export type { SqlParam, SqlStatement, StorageBackend } from './backend';
export { storageMessage } from './backend';
export { Catalogue, localTable, STORAGE_TABLES, syncedTable, type TableSpec } from './catalogue';
export { connectLocalDb, type LocalDb } from './local-db';
export {
  dataEpochKey,
  deleteMeta,
  META,
  META_SCOPES,
  metaKeysEndingWith,
  readMeta,
  writeMeta,
  type MetaKey,
  type MetaScope,
} from './meta';
export { migrate } from './migrate';
export { openDatabase, openLocalDb, provideLocalDb } from './open';
export { BASE_STATEMENTS, createSchema, MIGRATIONS, SCHEMA_VERSION } from './schema';
export { wipeCompanyData, type WipeScope } from './wipe';
export { exposeStorageTestHook } from './test-hook';
