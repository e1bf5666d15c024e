// Receipts and printers: the print model, the sale receipt's rows, ESC/POS
// text and raster bytes, HTML printing, the printer choice and its transport.
// No module of its own: the till, the settings and the documents use it.
export type {
  Bitmap,
  Paper,
  PrintDocument,
  PrinterConfig,
  PrinterKind,
  ReceiptLine,
  ReceiptSaleLine,
  SaleResult,
} from './types';
export { PAPER_SPECS } from './types';
export { EscPosWriter, RASTER_BAND_ROWS } from './escpos-writer';
export { drawerKickBytes, encodeTextReceipt, feedAndCutBytes, isPrintableAscii, padColumns } from './text-receipt';
export { encodeRasterReceipt, thresholdBitmap } from './raster-receipt';
export { renderReceiptBitmap } from './render-bitmap';
export { encodeReceipt } from './encode';
export {
  buildReceiptLines,
  commercialRegisterText,
  eReceiptText,
  testPageLines,
  type ReceiptOptions,
} from './receipt-lines';
export { htmlDocument, linesToHtml, printHtml, rollHtml } from './html-print';
export {
  DEFAULT_PRINTER_CONFIG,
  loadPrinterConfig,
  parsePrinterConfig,
  printerKinds,
  savePrinterConfig,
} from './printer-config';
export { discoverNetworkPrinters, listSystemPrinters, printerPort, sendToPrinter, toBase64 } from './transport';
export { cutPaper, openDrawer, printA4, printDocument, printReceiptLines, printTestPage } from './print-actions';
export { default as ThermalReceipt } from './ThermalReceipt.vue';
