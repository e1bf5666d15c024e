import { metaKeysEndingWith, openLocalDb, wipeCompanyData } from '../../storage';
import { sessionHooks } from './hooks';

/**
 * Empties every company table of the catalogue and drops the meta keys that
 * end with a sign-out (`user`) or a company switch (`company`), in one
 * transaction. The outbox and the dead letters stay: work not yet sent
 * survives and goes out after the next sign-in.
 */
export async function clearCompanyData(ending: 'user' | 'company'): Promise<void> {
  const tables = sessionHooks.companyTables;
  if (!tables) throw new Error('the company tables are not registered');
  const db = await openLocalDb();
  await db.transaction((db) => wipeCompanyData(db, { tables, metaKeys: metaKeysEndingWith(ending) }));
}

/** What both sign-outs do to the device: no business data, no profile, no token. */
export async function localWipe(forgetToken: () => Promise<void>): Promise<void> {
  await clearCompanyData('user');
  try {
    await (await openLocalDb()).execute('VACUUM');
  } catch {
    // Space is reclaimed next time.
  }
  await forgetToken();
}
