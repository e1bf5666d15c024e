// Receipts as one-bit images: the path for every row the printer's text mode
// cannot carry (Arabic, the multiplication sign, direction marks).
import { EscPosWriter } from './escpos-writer';
import type { Bitmap } from './types';

const BLACK_BELOW = 160;

/**
 * One bit per pixel of RGBA data: luminance blended over white by alpha,
 * black below 160; rows packed most significant bit first.
 */
export function thresholdBitmap(rgba: Uint8ClampedArray | Uint8Array, width: number, height: number): Bitmap {
  const bytesPerRow = Math.ceil(width / 8);
  const bits = new Uint8Array(bytesPerRow * height);
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      const i = (y * width + x) * 4;
      const alpha = (rgba[i + 3] ?? 0) / 255;
      const luminance = 0.299 * (rgba[i] ?? 0) + 0.587 * (rgba[i + 1] ?? 0) + 0.114 * (rgba[i + 2] ?? 0);
      if (luminance * alpha + 255 * (1 - alpha) < BLACK_BELOW) bits[y * bytesPerRow + (x >> 3)]! |= 0x80 >> (x & 7);
    }
  }
  return { bits, bytesPerRow, height };
}

export function encodeRasterReceipt(
  bitmap: Bitmap,
  qrTexts: readonly string[],
  cut: boolean,
  drawer: boolean,
): Uint8Array {
  const w = new EscPosWriter().init();
  if (drawer) w.drawer(0);
  w.align('center').raster(bitmap.bits, bitmap.bytesPerRow, bitmap.height);
  for (const text of qrTexts) w.align('center').qr(text, 5).feed(1);
  w.feed(3);
  if (cut) w.cut(true);
  return w.bytes();
}
