import { openLocalDb } from '../storage';
import { loadLanguage } from './language';

/**
 * The first steps of every run: the local database with its schema, then
 * the saved language, before any screen shows.
 */
export async function bootClient(): Promise<void> {
  const db = await openLocalDb();
  await loadLanguage(db);
}
