import type { LocalDb } from '../../storage';
import type { SyncPort } from '../../sync';
import { countedAmount } from './cents';
import type { Shift } from './current-shift';
import { shiftSummary, baseCurrencyOf, type CountedMap, type ShiftReport } from './shift-summary';

export const NOTES_LIMIT = 500;

export interface ClosedShift extends Shift {
  closed_at: string;
  counted_cash: number;
  counted_json: string;
}

export interface ShiftClose {
  shift: ClosedShift;
  report: ShiftReport;
}

/** Closes the shift with the drawer count per currency and stores its report with it. */
export async function closeShift(
  db: LocalDb,
  sync: SyncPort,
  tenant: Record<string, unknown>,
  shift: Shift | null,
  counted: Record<string, unknown>,
  notes: string,
  now = new Date(),
): Promise<ShiftClose> {
  if (!shift) throw new Error('No open shift');
  const clean: CountedMap = {};
  for (const [code, amount] of Object.entries(counted)) clean[code] = countedAmount(amount);
  const note = notes.trim().slice(0, NOTES_LIMIT);
  const closed: ClosedShift = {
    ...shift,
    closed_at: now.toISOString(),
    counted_cash: clean[baseCurrencyOf(tenant)] ?? 0,
    counted_json: JSON.stringify(clean),
    notes: note || null,
  };
  const report = await shiftSummary(db, tenant, closed);
  await sync.save('pos_shift', {
    uuid: closed.uuid,
    opened_at: closed.opened_at,
    opening_cash: closed.opening_cash,
    closed_at: closed.closed_at,
    counted_cash: closed.counted_cash,
    counted_json: closed.counted_json,
    notes: closed.notes,
    summary_json: JSON.stringify(report),
  });
  return { shift: closed, report };
}
