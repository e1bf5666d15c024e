export type { SqlParam, StorageBackend } from './backend';
export { storageMessage } from './backend';
export { AVAILABLE_STOCK, SYNC_COLUMNS, type SyncTable } from './catalogue';
export { LocalDb } from './local-db';
export { migrate } from './migrate';
export { openDatabase, openLocalDb } from './open';
export { BASE_STATEMENTS, createSchema, MIGRATIONS, SCHEMA_VERSION } from './schema';
