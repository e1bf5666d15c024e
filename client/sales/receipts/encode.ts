import { encodeRasterReceipt } from './raster-receipt';
import { renderReceiptBitmap } from './render-bitmap';
import { encodeTextReceipt, isPrintableAscii } from './text-receipt';
import type { Bitmap, Paper, PrinterConfig, ReceiptLine } from './types';

export type BitmapRenderer = (lines: readonly ReceiptLine[], paper: Paper, rtl: boolean) => Bitmap;

/**
 * The printer bytes of a document: text mode when every row is printable
 * ASCII, else one image with the QR rows printed natively after it.
 */
export function encodeReceipt(
  lines: readonly ReceiptLine[],
  config: Pick<PrinterConfig, 'paper' | 'autoCut'>,
  rtl: boolean,
  drawer: boolean,
  render: BitmapRenderer = renderReceiptBitmap,
): Uint8Array {
  const plain = lines.every((row) => isPrintableAscii(row.text) && isPrintableAscii(row.right ?? ''));
  if (plain) return encodeTextReceipt(lines, config.paper, config.autoCut, drawer);
  const bitmap = render(
    lines.filter((row) => row.qr === undefined),
    config.paper,
    rtl,
  );
  const qrTexts = lines.flatMap((row) => (row.qr === undefined ? [] : [row.qr]));
  return encodeRasterReceipt(bitmap, qrTexts, config.autoCut, drawer);
}
