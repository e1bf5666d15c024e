// The receipt figures of the Chromium page, in the real window: the same
// 40-line Arabic receipt drawn, thresholded and encoded. The figures and the
// printer bytes (for the driver to decode and show) go to bench_report. A
// long receipt, drawn in several canvases, shows whether every chunk inks.
import '../../printing/page/main';
import { encodeReceipt, toBase64, type ReceiptLine } from '../../../client/sales/receipts';
import { benchReport } from '../bench-report';

const RUNS = 20;
const LONG_ROWS = 400;
const median = (values: number[]) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)] ?? NaN;
const ms = (values: number[]) => `median ${median(values).toFixed(1)} ms, max ${Math.max(...values).toFixed(1)} ms`;

(async () => {
  try {
    const figures = await window.receiptBench(RUNS);
    const long: ReceiptLine[] = Array.from({ length: LONG_ROWS }, (_, i) => ({ text: `صنف رقم ${i + 1}`, right: `${i + 1}.00` }));
    const t = performance.now();
    const longBytes = encodeReceipt(long, { paper: 80, autoCut: true }, true, false);
    const longMs = performance.now() - t;
    // Encoding draws the image again, so it counts the whole pipeline.
    await benchReport({
      lines: [
        `window receipt: ${figures.rows} rows, image 576 x ${figures.height} dots`,
        `window render + threshold: ${ms(figures.render)}`,
        `window render + threshold + encode: ${ms(figures.encode)}`,
        `window receipt bytes: ${figures.bytes}`,
        `window render + threshold + encode of ${LONG_ROWS} rows: ${longMs.toFixed(0)} ms`,
        `window long receipt bytes: ${toBase64(longBytes)}`,
      ],
    });
  } catch (error) {
    await benchReport({ lines: [], error: String(error) });
  }
})();
