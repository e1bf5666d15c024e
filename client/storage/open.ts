import type { StorageBackend } from './backend';
import { connectLocalDb, type LocalDb } from './local-db';
import { migrate } from './migrate';
import { createSchema } from './schema';
import { createPlatformBackend } from './select-backend';

/** Wraps a backend and brings its schema up to date. */
export async function openDatabase(backend: StorageBackend): Promise<LocalDb> {
  const db = connectLocalDb(backend);
  await createSchema(db);
  await migrate(db);
  return db;
}

let opening: Promise<LocalDb> | null = null;

/**
 * The client's database, opened once per run. Every caller, concurrent ones
 * too, gets the same result, and a failed open stays failed so the whole
 * client sees the same error.
 */
export function openLocalDb(): Promise<LocalDb> {
  opening ??= createPlatformBackend().then(openDatabase);
  return opening;
}

/** Makes `db` the client's database: tests run the client over their own. */
export function provideLocalDb(db: LocalDb): void {
  opening = Promise.resolve(db);
}
