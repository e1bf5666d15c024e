// Draws receipt rows into a one-bit image through the web view's canvas, so
// Arabic is shaped and ordered by the web view's own text engine.
import { thresholdBitmap } from './raster-receipt';
import { PAPER_SPECS, type Bitmap, type Paper, type ReceiptLine } from './types';

const MARGIN = 8;
const FONTS = 'system-ui, "Segoe UI", Tahoma, "Noto Sans Arabic", Arial, sans-serif';
/** Canvases this tall are safe in every web view; taller receipts are drawn in several. */
export const CHUNK_ROWS = 2048;
/** The host refuses jobs over 4 MiB; keep room for the commands around the image. */
const MAX_IMAGE_BYTES = 4 * 1024 * 1024 - 64 * 1024;

export type CanvasFactory = (width: number, height: number) => HTMLCanvasElement | OffscreenCanvas;

const documentCanvas: CanvasFactory = (width, height) => {
  const canvas = document.createElement('canvas');
  canvas.width = width;
  canvas.height = height;
  return canvas;
};

interface PlacedRow {
  row: ReceiptLine;
  top: number;
  height: number;
  size: number;
}

function layout(lines: readonly ReceiptLine[], paper: Paper): { rows: PlacedRow[]; height: number } {
  const base = PAPER_SPECS[paper].font;
  const big = Math.round(base * 1.6);
  let y = 8;
  const rows = lines.map((row) => {
    const size = row.big ? big : base;
    const height = row.rule ? 14 : Math.round(size * 1.35);
    const placed = { row, top: y, height, size };
    y += height;
    return placed;
  });
  return { rows, height: y - 8 + 16 };
}

const RTL_LETTER = /[\u0590-\u08ff\ufb1d-\ufdff\ufe70-\ufeff]/;

/**
 * The direction of the text's first letter, else the receipt's. Some web
 * views' canvases ignore Unicode isolates, so a row written left to right in
 * an Arabic receipt (the time, for one) is given its own direction here.
 */
function rowDirection(text: string, rtl: boolean): CanvasDirection {
  const letter = /\p{L}/u.exec(text)?.[0];
  if (letter === undefined) return rtl ? 'rtl' : 'ltr';
  return RTL_LETTER.test(letter) ? 'rtl' : 'ltr';
}

const inks = (row: ReceiptLine) => !!row.rule || /\S/.test(row.text + (row.right ?? ''));

function drawRow(ctx: CanvasRenderingContext2D | OffscreenCanvasRenderingContext2D, placed: PlacedRow, width: number, rtl: boolean) {
  const { row, top, height, size } = placed;
  const middle = top + height / 2;
  if (row.rule) {
    ctx.fillRect(MARGIN, middle, width - 2 * MARGIN, 2);
    return;
  }
  ctx.font = `${row.bold || row.big ? 700 : 400} ${size}px ${FONTS}`;
  const put = (text: string, x: number, align: CanvasTextAlign, maxWidth: number) => {
    ctx.textAlign = align;
    ctx.fillText(text, x, middle, maxWidth);
  };
  if (row.right !== undefined) {
    put(row.text, rtl ? width - MARGIN : MARGIN, rtl ? 'right' : 'left', width * 0.62);
    // Amounts read left to right in both languages: "80 mm" must not turn into "mm 80".
    ctx.direction = 'ltr';
    put(row.right, rtl ? MARGIN : width - MARGIN, rtl ? 'left' : 'right', width - 2 * MARGIN);
    ctx.direction = rtl ? 'rtl' : 'ltr';
    return;
  }
  const align = row.align ?? (rtl ? 'right' : 'left');
  const x = align === 'center' ? width / 2 : align === 'right' ? width - MARGIN : MARGIN;
  ctx.direction = rowDirection(row.text, rtl);
  put(row.text, x, align, width - 2 * MARGIN);
  ctx.direction = rtl ? 'rtl' : 'ltr';
}

/**
 * The rows (QR rows left out by the caller) as a one-bit image the paper's
 * raster width wide. Tall receipts are drawn in chunks; a chunk that should
 * hold ink but came back blank fails the whole image, so a canvas the web view
 * could not draw never prints as empty paper.
 */
export function renderReceiptBitmap(
  lines: readonly ReceiptLine[],
  paper: Paper,
  rtl: boolean,
  createCanvas: CanvasFactory = documentCanvas,
): Bitmap {
  const width = PAPER_SPECS[paper].dots;
  const bytesPerRow = width / 8;
  const { rows, height } = layout(lines, paper);
  if (height * bytesPerRow > MAX_IMAGE_BYTES) throw new Error('The receipt is too long to print.');

  const bits = new Uint8Array(bytesPerRow * height);
  for (let top = 0; top < height; top += CHUNK_ROWS) {
    const rowsHere = Math.min(CHUNK_ROWS, height - top);
    const ctx = createCanvas(width, rowsHere).getContext('2d') as
      | CanvasRenderingContext2D
      | OffscreenCanvasRenderingContext2D
      | null;
    if (!ctx) throw new Error('The receipt could not be drawn.');
    ctx.fillStyle = '#ffffff';
    ctx.fillRect(0, 0, width, rowsHere);
    ctx.fillStyle = '#000000';
    ctx.textBaseline = 'middle';
    ctx.direction = rtl ? 'rtl' : 'ltr';
    ctx.translate(0, -top);
    // Glyphs may reach past their row, so neighbours of the chunk are drawn too (and clipped).
    const near = rows.filter((r) => r.top + 2 * r.height > top && r.top - r.height < top + rowsHere);
    for (const placed of near) drawRow(ctx, placed, width, rtl);

    const chunk = thresholdBitmap(ctx.getImageData(0, 0, width, rowsHere).data, width, rowsHere);
    const expectsInk = rows.some((r) => r.top >= top && r.top + r.height <= top + rowsHere && inks(r.row));
    if (expectsInk && !chunk.bits.some((byte) => byte !== 0)) throw new Error('The receipt could not be drawn.');
    bits.set(chunk.bits, top * bytesPerRow);
  }
  return { bits, bytesPerRow, height };
}
