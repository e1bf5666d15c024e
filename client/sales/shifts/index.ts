// Shifts of the till: opening, the drawer's events, closing with its count
// and report.
import { syncedTable } from '../../storage';
import type { FeatureManifest } from '../../sync';

export { loadCurrentShift, openShift, type Shift } from './current-shift';
export { roundCents } from './cents';
export { localDayOf, utcDatesAround } from './local-day';
export { refundsBetween, type RefundRow } from './refunds';
export { cashDenominations } from './denominations';
export { baseCurrencyOf, parseCounted, shiftSummary, type ShiftFigures, type ShiftReport } from './shift-summary';
export { closeShift, type ClosedShift, type ShiftClose } from './close-shift';
export { zReportText } from './z-report';
export { default as RegisterClose } from './RegisterClose.vue';

export const shifts: FeatureManifest = {
  name: 'shifts',
  tables: [
    syncedTable('shifts', ['opened_at', 'closed_at', 'opening_cash', 'counted_cash', 'notes', 'summary_json'], [
      'counted_json',
    ]),
    syncedTable('pos_events', [
      'type', 'shift_uuid', 'product_uuid', 'product_name', 'quantity', 'amount', 'currency_code', 'note', 'occurred_at',
    ]),
  ],
  entities: [
    {
      name: 'pos_shift',
      table: 'shifts',
      pulled: true,
      resendable: true,
      jsonColumns: [
        { column: 'summary_json', field: 'summary', fallback: null },
        // The drawer count goes to the server as an object of currency → amount; a server record leaves the local one as it is.
        { column: 'counted_json', field: 'counted', fallback: {}, adopt: false, send: true },
      ],
    },
    { name: 'pos_event', table: 'pos_events', pulled: false, resendable: false },
  ],
};
