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
    receiptBench(runs: number): Promise<{ rows: number; render: number[]; encode: number[]; bytes: string; height: number }>;
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
  return { rows: rows.length, render, encode, bytes: toBase64(bytes), height };
};
