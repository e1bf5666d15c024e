import { openLocalDb } from '../../storage';

/** The tables that hold one company's business data. */
export const COMPANY_TABLES = [
  'clients',
  'products',
  'invoices',
  'quotations',
  'settlements',
  'shifts',
  'stock_holds',
  'stock_adjustments',
  'notes',
  'pos_events',
  'payables',
  'payable_payments',
  'expense_categories',
  'expenses',
  'treasury_movements',
] as const;

/**
 * Empties the company tables and drops the given meta keys in one
 * transaction. The outbox and the dead letters stay: work not yet sent
 * survives and goes out after the next sign-in.
 */
export async function clearCompanyData(metaKeys: readonly string[]): Promise<void> {
  const db = await openLocalDb();
  await db.transaction(async () => {
    for (const table of COMPANY_TABLES) {
      try {
        await db.execute(`DELETE FROM ${table}`);
      } catch {
        // One table that fails must not keep the others' data.
      }
    }
    for (const key of metaKeys) await db.execute('DELETE FROM meta WHERE key = ?', [key]);
  });
}

/** What both sign-outs do to the device: no business data, no profile, no token. */
export async function localWipe(forgetToken: () => Promise<void>): Promise<void> {
  await clearCompanyData(['profile', 'notif_last_id', 'pull_cursor', 'last_sync_at']);
  try {
    await (await openLocalDb()).execute('VACUUM');
  } catch {
    // Space is reclaimed next time.
  }
  await forgetToken();
}
