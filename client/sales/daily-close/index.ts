// The daily close: one day's account across every till and the back office,
// per currency, printed on the roll or on A4. Computed on demand, never stored.
export { dailyCloseData, type DailyClose, type DailyCloseCurrency } from './daily-close-data';
export { businessName, closeAmount, dailyCloseDocument, methodLabel } from './daily-close-document';
export { default as DailyClosePanel } from './DailyClosePanel.vue';
