import type { LocalDb } from '../../storage';
import type { SyncPort } from '../../sync';

export type Shift = {
  uuid: string;
  opened_at: string;
  opening_cash: number;
  closed_at: string | null;
  counted_cash: number | null;
  notes: string | null;
};

// This device's own shift. Shifts of other tills arrive with every pull, so
// the latest open one is not necessarily this drawer's.
const THIS_TILL_SHIFT = 'pos_shift_uuid';

const OPEN = 'SELECT * FROM shifts WHERE closed_at IS NULL AND deleted = 0';

/** The open shift of this till; one opened here before any other, else the latest open one. */
export async function loadCurrentShift(db: LocalDb): Promise<Shift | null> {
  const [own] = await db.select<Shift>(
    `${OPEN} AND uuid = (SELECT value FROM meta WHERE key = ?)`,
    [THIS_TILL_SHIFT],
  );
  if (own) return own;
  const [latest] = await db.select<Shift>(`${OPEN} ORDER BY opened_at DESC LIMIT 1`);
  return latest ?? null;
}

/** Opens the register with the counted cash (never negative) and makes it this till's shift. */
export async function openShift(db: LocalDb, sync: SyncPort, cash: number, now = new Date()): Promise<Shift> {
  const [device] = await db.select<{ value: string | null }>("SELECT value FROM meta WHERE key = 'device_id'");
  const record = {
    opened_at: now.toISOString(),
    opening_cash: Math.max(0, Number.isFinite(cash) ? cash : 0),
    closed_at: null,
    counted_cash: null,
    notes: null,
  };
  const uuid = await sync.save('pos_shift', { ...record, device_id: device?.value ?? null }, (id, db) =>
    db.execute('INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)', [THIS_TILL_SHIFT, id]),
  );
  return { uuid, ...record };
}
