import { META, openLocalDb, wipeCompanyData, type MetaKey } from '../../storage';
import { sessionHooks } from './hooks';

/**
 * Empties the company tables and drops the given meta keys in one
 * transaction. The outbox and the dead letters stay: work not yet sent
 * survives and goes out after the next sign-in.
 */
export async function clearCompanyData(metaKeys: readonly MetaKey[]): Promise<void> {
  const db = await openLocalDb();
  await db.transaction(() => wipeCompanyData(db, { tables: sessionHooks.companyTables ?? [], metaKeys }));
}

/** What both sign-outs do to the device: no business data, no profile, no token. */
export async function localWipe(forgetToken: () => Promise<void>): Promise<void> {
  await clearCompanyData([META.profile, META.notificationsLastId, META.pullCursor, META.lastSyncAt]);
  try {
    await (await openLocalDb()).execute('VACUUM');
  } catch {
    // Space is reclaimed next time.
  }
  await forgetToken();
}
