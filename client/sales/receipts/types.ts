// The print model shared by every printed document, and the printer choice.

/** One printed row. */
export interface ReceiptLine {
  /** The row's text, or the left column of a two-column row. */
  text: string;
  /** Present: the row has two columns and this is the right-hand one (amounts). */
  right?: string;
  /** Absent: the start side of the writing direction. */
  align?: 'left' | 'center' | 'right';
  bold?: boolean;
  /** Double width and height. */
  big?: boolean;
  /** A horizontal rule; nothing else of the row counts. */
  rule?: boolean;
  /** A QR code of this text. */
  qr?: string;
}

/** A document other than a sale receipt: rows for the roll, HTML for A4. */
export interface PrintDocument {
  title: string;
  lines: ReceiptLine[];
  /** The A4 version's body. */
  html: string;
}

export type Paper = 58 | 80;
export type PrinterKind = 'system' | 'network' | 'bluetooth' | 'browser';

/** Stored as JSON in `meta` under "printer". */
export interface PrinterConfig {
  kind: PrinterKind;
  paper: Paper;
  autoCut: boolean;
  drawerOnCash: boolean;
  autoPrint: boolean;
  /** Installed printer's name, for "system". */
  name?: string;
  /** Printer's IP address, for "network". */
  host?: string;
  /** TCP port for "network"; absent or empty means 9100. */
  port?: number | string | null;
  /** Bluetooth device address (Android build only). */
  address?: string;
}

/** A sale line as the receipt reads it. */
export interface ReceiptSaleLine {
  name: string;
  quantity: number;
  unit_price: number;
}

/**
 * A completed sale as the receipt reads it: the till's sale result carries
 * these fields (and more), so it is handed over as it is.
 */
export interface SaleResult {
  uuid: string;
  reference: string;
  /** ISO-8601. */
  soldAt: string;
  lines: readonly ReceiptSaleLine[];
  formal: boolean;
  subtotal: number;
  discount: number;
  tax: number;
  total: number;
  pointsUsed: number;
  pointsValue: number;
  method: string;
  /** Cash sales only, else null. */
  tendered: number | null;
  change: number;
  client: { name: string } | null;
  offline: boolean;
  currency: string;
}

/** A one-bit image: rows of `bytesPerRow` bytes, most significant bit leftmost, 1 = black. */
export interface Bitmap {
  bits: Uint8Array;
  bytesPerRow: number;
  height: number;
}

export const PAPER_SPECS: Readonly<Record<Paper, { dots: number; chars: number; font: number }>> = {
  58: { dots: 384, chars: 32, font: 20 },
  80: { dots: 576, chars: 48, font: 24 },
};
