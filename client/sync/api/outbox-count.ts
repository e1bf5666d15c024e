import { openLocalDb } from '../../storage';

/** How many changes wait to be sent; 0 when the database cannot tell. */
export async function pendingOperations(): Promise<number> {
  try {
    const [row] = await (await openLocalDb()).select<{ n: number }>('SELECT COUNT(*) AS n FROM outbox');
    return row?.n ?? 0;
  } catch {
    return 0;
  }
}
