// Reads ESC/POS bytes the way a thermal printer does, so tests can assert
// what the paper shows: text lines, the raster image rebuilt from its bands,
// QR codes, feeds, the drawer pulse and the cut, in order.

export type PaperEvent =
  | { kind: 'init' }
  | { kind: 'drawer'; pin: number; on: number; off: number }
  | { kind: 'align'; value: number }
  | { kind: 'bold'; on: boolean }
  | { kind: 'size'; value: number }
  | { kind: 'line'; text: string; align: number; bold: boolean; big: boolean }
  | { kind: 'feed'; lines: number }
  | { kind: 'cut'; partial: boolean; feed: number }
  | { kind: 'qr'; data: string; size: number }
  | { kind: 'raster'; bytesPerRow: number; rows: number };

export interface Image {
  width: number;
  height: number;
  /** Row-major, 1 = black. */
  dots: Uint8Array;
}

export interface Paper {
  events: PaperEvent[];
  lines: string[];
  /** Consecutive raster bands joined into images. */
  images: Image[];
}

export function decodeEscPos(bytes: Uint8Array): Paper {
  const events: PaperEvent[] = [];
  const images: Image[] = [];
  let align = 0;
  let bold = false;
  let big = false;
  let text = '';
  let qrSize = 0;
  let qrData = '';
  let i = 0;
  let lastWasRaster = false;

  const need = (n: number) => {
    if (i + n > bytes.length) throw new Error(`truncated command at offset ${i}`);
  };
  const at = (k: number) => bytes[i + k] ?? 0;
  const push = (event: PaperEvent) => {
    lastWasRaster = event.kind === 'raster';
    events.push(event);
  };

  while (i < bytes.length) {
    const b = at(0);
    if (b === 0x0a) {
      push({ kind: 'line', text, align, bold, big });
      text = '';
      i += 1;
    } else if (b >= 0x20 && b <= 0x7e) {
      text += String.fromCharCode(b);
      i += 1;
    } else if (b === 0x1b) {
      need(2);
      const op = at(1);
      if (op === 0x40) {
        push({ kind: 'init' });
        align = 0;
        bold = false;
        big = false;
        i += 2;
      } else if (op === 0x61) {
        need(3);
        align = at(2);
        push({ kind: 'align', value: align });
        i += 3;
      } else if (op === 0x45) {
        need(3);
        bold = at(2) !== 0;
        push({ kind: 'bold', on: bold });
        i += 3;
      } else if (op === 0x64) {
        need(3);
        push({ kind: 'feed', lines: at(2) });
        i += 3;
      } else if (op === 0x70) {
        need(5);
        push({ kind: 'drawer', pin: at(2), on: at(3), off: at(4) });
        i += 5;
      } else throw new Error(`unknown ESC ${op.toString(16)} at offset ${i}`);
    } else if (b === 0x1d) {
      need(2);
      const op = at(1);
      if (op === 0x21) {
        need(3);
        big = at(2) === 0x11;
        push({ kind: 'size', value: at(2) });
        i += 3;
      } else if (op === 0x56) {
        need(4);
        push({ kind: 'cut', partial: at(2) === 0x42, feed: at(3) });
        i += 4;
      } else if (op === 0x28 && at(2) === 0x6b) {
        need(5);
        const length = at(3) + at(4) * 256;
        need(5 + length);
        const fn = at(6);
        if (fn === 0x43) qrSize = at(7);
        if (fn === 0x50) qrData = new TextDecoder().decode(bytes.subarray(i + 8, i + 5 + length));
        if (fn === 0x51) push({ kind: 'qr', data: qrData, size: qrSize });
        i += 5 + length;
      } else if (op === 0x76 && at(2) === 0x30) {
        need(8);
        const bytesPerRow = at(4) + at(5) * 256;
        const rows = at(6) + at(7) * 256;
        need(8 + bytesPerRow * rows);
        const band = bytes.subarray(i + 8, i + 8 + bytesPerRow * rows);
        const width = bytesPerRow * 8;
        const previous = lastWasRaster ? images.at(-1) : undefined;
        const image = previous && previous.width === width ? previous : { width, height: 0, dots: new Uint8Array(0) };
        if (image !== previous) images.push(image);
        const dots = new Uint8Array((image.height + rows) * width);
        dots.set(image.dots);
        for (let y = 0; y < rows; y++)
          for (let x = 0; x < width; x++)
            dots[(image.height + y) * width + x] = ((band[y * bytesPerRow + (x >> 3)] ?? 0) >> (7 - (x & 7))) & 1;
        image.dots = dots;
        image.height += rows;
        push({ kind: 'raster', bytesPerRow, rows });
        i += 8 + bytesPerRow * rows;
      } else throw new Error(`unknown GS ${op.toString(16)} at offset ${i}`);
    } else throw new Error(`unexpected byte ${b.toString(16)} at offset ${i}`);
  }
  if (text) push({ kind: 'line', text, align, bold, big });
  const lines = events.flatMap((e) => (e.kind === 'line' ? [e.text] : []));
  return { events, lines, images };
}

/** The ink's horizontal extent in rows top..bottom, or null when they are blank. */
export function inkSpan(image: Image, top: number, bottom: number): { left: number; right: number } | null {
  let left = image.width;
  let right = -1;
  for (let y = Math.max(0, top); y < Math.min(image.height, bottom); y++)
    for (let x = 0; x < image.width; x++)
      if (image.dots[y * image.width + x]) {
        left = Math.min(left, x);
        right = Math.max(right, x);
      }
  return right < 0 ? null : { left, right };
}

/** Runs of consecutive rows holding ink: the printed rows of text and rules. */
export function inkBands(image: Image): { top: number; bottom: number }[] {
  const bands: { top: number; bottom: number }[] = [];
  for (let y = 0; y < image.height; y++) {
    const inked = image.dots.subarray(y * image.width, (y + 1) * image.width).some((d) => d === 1);
    const last = bands.at(-1);
    if (inked && last && last.bottom === y) last.bottom = y + 1;
    else if (inked) bands.push({ top: y, bottom: y + 1 });
  }
  return bands;
}
