// The receipt pipeline in a real page: rows of a 40-line Arabic sale, drawn,
// thresholded and encoded, timed here so the driver's round trips do not count.
import {
  buildReceiptLines,
  encodeReceipt,
  renderReceiptBitmap,
  toBase64,
  type SaleResult,
} from '../../../client/sales/receipts';

const NAMES = ['شاي أخضر', 'أرز بسمتي', 'حليب طازج', 'سكر أبيض', 'زيت زيتون', 'خبز عربي', 'جبن أبيض', 'تمر مجدول'];

function sale(): SaleResult {
  const lines = Array.from({ length: 15 }, (_, i) => ({
    name: `${NAMES[i % NAMES.length]} ${i + 1}`,
    quantity: (i % 3) + 1,
    unit_price: 2.5 + i,
  }));
  const subtotal = lines.reduce((sum, l) => sum + l.quantity * l.unit_price, 0);
  return {
    uuid: 'bench',
    reference: 'POS-3F2A-00012',
    soldAt: new Date().toISOString(),
    lines,
    formal: true,
    subtotal,
    discount: 1,
    tax: 0,
    total: subtotal - 1,
    pointsUsed: 0,
    pointsValue: 0,
    method: 'cash',
    tendered: 500,
    change: 500 - (subtotal - 1),
    client: { name: 'هدى علي' },
    offline: false,
    currency: 'LYD',
  };
}

declare global {
  interface Window {
    receiptBench(
      runs: number,
    ): Promise<{ rows: number; render: number[]; encode: number[]; bytes: string; height: number; png: string }>;
  }
}

window.receiptBench = async (runs) => {
  await document.fonts.ready;
  const rows = buildReceiptLines(sale(), 'متجر الزاوية', { commercialRegister: '12345' });
  const config = { paper: 80 as const, autoCut: true };
  const render: number[] = [];
  const encode: number[] = [];
  let bytes = new Uint8Array();
  let height = 0;
  for (let i = 0; i < runs; i++) {
    let t = performance.now();
    height = renderReceiptBitmap(rows, 80, true).height;
    render.push(performance.now() - t);
    t = performance.now();
    bytes = encodeReceipt(rows, config, true, true);
    encode.push(performance.now() - t);
  }
  // The image as a PNG, for a person to look at.
  const bitmap = renderReceiptBitmap(rows, 80, true);
  const canvas = document.createElement('canvas');
  canvas.width = 576;
  canvas.height = bitmap.height;
  const ctx = canvas.getContext('2d')!;
  const image = ctx.createImageData(576, bitmap.height);
  for (let i = 0; i < 576 * bitmap.height; i++) {
    const black = (bitmap.bits[(i / 576 | 0) * 72 + ((i % 576) >> 3)]! >> (7 - (i & 7))) & 1;
    image.data.fill(black ? 0 : 255, i * 4, i * 4 + 3);
    image.data[i * 4 + 3] = 255;
  }
  ctx.putImageData(image, 0, 0);
  return { rows: rows.length, render, encode, bytes: toBase64(bytes), height, png: canvas.toDataURL('image/png') };
};
