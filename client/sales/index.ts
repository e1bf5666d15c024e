// Selling: the till, receipts, shifts and the daily close, invoices and
// quotations, returns, the kiosk.
export { documents, provideDocumentsSyncPort } from './documents';
export { returns } from './returns';
export { shifts } from './shifts';
export { provideTillSyncPort, till } from './till';
