// ESC/POS command bytes, collected in order.

const ESC = 0x1b;
const GS = 0x1d;
/** Rows per raster command: cheap printers' buffers take no more. */
export const RASTER_BAND_ROWS = 256;

const clamp = (value: number, low: number, high: number) => Math.min(high, Math.max(low, Math.trunc(value) || 0));

export class EscPosWriter {
  readonly out: number[] = [];

  init(): this {
    return this.raw([ESC, 0x40]);
  }

  align(where: string): this {
    return this.raw([ESC, 0x61, where === 'center' ? 1 : where === 'right' ? 2 : 0]);
  }

  bold(on: boolean): this {
    return this.raw([ESC, 0x45, on ? 1 : 0]);
  }

  /** Double width and height. */
  big(on: boolean): this {
    return this.raw([GS, 0x21, on ? 0x11 : 0x00]);
  }

  /** One byte per code point; anything outside printable ASCII prints as "?". */
  text(s: string): this {
    for (const ch of s) {
      const code = ch.codePointAt(0) ?? 0x3f;
      this.out.push(code >= 0x20 && code <= 0x7e ? code : 0x3f);
    }
    return this;
  }

  line(s: string): this {
    return this.text(s).raw([0x0a]);
  }

  feed(lines = 1): this {
    return this.raw([ESC, 0x64, clamp(lines, 0, 255)]);
  }

  cut(partial = true): this {
    return this.raw([GS, 0x56, partial ? 0x42 : 0x41, 3]);
  }

  /** A drawer pulse: on 25, off 250 units. */
  drawer(pin = 0): this {
    return this.raw([ESC, 0x70, pin, 0x19, 0xfa]);
  }

  /** A model 2 QR code, error correction M, of the text's UTF-8 bytes. */
  qr(data: string, size = 6): this {
    const bytes = new TextEncoder().encode(data);
    const length = bytes.length + 3;
    this.raw([GS, 0x28, 0x6b, 0x04, 0x00, 0x31, 0x41, 0x32, 0x00]);
    this.raw([GS, 0x28, 0x6b, 0x03, 0x00, 0x31, 0x43, clamp(size, 1, 16)]);
    this.raw([GS, 0x28, 0x6b, 0x03, 0x00, 0x31, 0x45, 0x31]);
    this.raw([GS, 0x28, 0x6b, length % 256, Math.floor(length / 256), 0x31, 0x50, 0x30]);
    for (const byte of bytes) this.out.push(byte);
    return this.raw([GS, 0x28, 0x6b, 0x03, 0x00, 0x31, 0x51, 0x30]);
  }

  /** A one-bit image in bands of at most 256 rows, one raster command per band. */
  raster(bits: Uint8Array, bytesPerRow: number, height: number): this {
    for (let top = 0; top < height; top += RASTER_BAND_ROWS) {
      const rows = Math.min(RASTER_BAND_ROWS, height - top);
      this.raw([GS, 0x76, 0x30, 0x00, bytesPerRow & 0xff, bytesPerRow >> 8, rows & 0xff, rows >> 8]);
      const band = bits.subarray(top * bytesPerRow, (top + rows) * bytesPerRow);
      for (const byte of band) this.out.push(byte);
    }
    return this;
  }

  raw(values: Iterable<number>): this {
    for (const value of values) this.out.push(value & 0xff);
    return this;
  }

  bytes(): Uint8Array {
    return Uint8Array.from(this.out);
  }
}
