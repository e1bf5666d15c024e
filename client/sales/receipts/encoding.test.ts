import { describe, expect, it } from 'vitest';
import { encodeReceipt } from './encode';
import { EscPosWriter } from './escpos-writer';
import { encodeRasterReceipt, thresholdBitmap } from './raster-receipt';
import { drawerKickBytes, encodeTextReceipt, feedAndCutBytes, padColumns } from './text-receipt';
import type { Bitmap, ReceiptLine } from './types';

const hex = (bytes: Iterable<number>) => [...bytes].map((b) => b.toString(16).padStart(2, '0')).join(' ');
const ascii = (bytes: Uint8Array) => String.fromCharCode(...bytes);

describe('EscPosWriter', () => {
  it.each<[string, (w: EscPosWriter) => EscPosWriter, string]>([
    ['init', (w) => w.init(), '1b 40'],
    ['align', (w) => w.align('left').align('center').align('right').align('middle'), '1b 61 00 1b 61 01 1b 61 02 1b 61 00'],
    ['bold and big', (w) => w.bold(true).bold(false).big(true).big(false), '1b 45 01 1b 45 00 1d 21 11 1d 21 00'],
    ['text outside printable ASCII', (w) => w.line('a×é\u{1F600}'), '61 3f 3f 3f 0a'],
    ['feed limited to a byte', (w) => w.feed().feed(300).feed(-4), '1b 64 01 1b 64 ff 1b 64 00'],
    ['cut and drawer', (w) => w.cut().cut(false).drawer().drawer(1), '1d 56 42 03 1d 56 41 03 1b 70 00 19 fa 1b 70 01 19 fa'],
    ['raw masks to bytes', (w) => w.raw([0x1ff, -1]), 'ff ff'],
    [
      'qr of UTF-8 data, module size limited',
      (w) => w.qr('é', 40),
      '1d 28 6b 04 00 31 41 32 00 1d 28 6b 03 00 31 43 10 1d 28 6b 03 00 31 45 31 ' +
        '1d 28 6b 05 00 31 50 30 c3 a9 1d 28 6b 03 00 31 51 30',
    ],
  ])('%s', (_name, write, expected) => {
    expect(hex(write(new EscPosWriter()).bytes())).toBe(expected);
  });

  it('sends an image of 300 rows as two raster commands of 256 and 44 rows', () => {
    const bits = Uint8Array.from({ length: 2 * 300 }, (_, i) => i % 251);
    const out = new EscPosWriter().raster(bits, 2, 300).bytes();
    expect(hex(out.subarray(0, 8))).toBe('1d 76 30 00 02 00 00 01');
    expect(out.subarray(8, 8 + 512)).toEqual(bits.subarray(0, 512));
    expect(hex(out.subarray(520, 528))).toBe('1d 76 30 00 02 00 2c 00');
    expect(out.subarray(528)).toEqual(bits.subarray(512));
  });

  it('has the fixed drawer and cut sequences', () => {
    expect(hex(drawerKickBytes())).toBe('1b 40 1b 70 00 19 fa');
    expect(hex(feedAndCutBytes())).toBe('1b 40 1b 64 03 1d 56 42 03');
  });
});

describe('padColumns', () => {
  it.each<[string, string, number, string[]]>([
    ['Subtotal', '12.50', 32, ['Subtotal' + ' '.repeat(19) + '12.50']],
    ['Total', '9.00 LYD', 16, ['Total   9.00 LYD']],
    ['A very long product description', '1,234.00', 20, ['A very long 1,234.00']],
    ['', '5.00', 10, ['      5.00']],
    // Right text one short of the line: one character of the left and a space still fit.
    ['Subtotal', '123456789', 11, ['S 123456789']],
    // No room left: the right text goes below, still flush at the end.
    ['Subtotal', '1234567890', 11, ['Subtotal', ' 1234567890']],
    ['Total', '123456789012345', 10, ['Total', '1234567890']],
  ])('%j | %j over %i', (left, right, width, expected) => {
    const rows = padColumns(left, right, width);
    expect(rows).toEqual(expected);
    for (const row of rows) expect([...row].length).toBeLessThanOrEqual(width);
  });
});

describe('text receipts', () => {
  const rows: ReceiptLine[] = [
    { text: 'SHOP', align: 'center', big: true },
    { text: '', rule: true },
    { text: 'Subtotal', right: '12.50' },
    { text: 'Total', right: '12.50', big: true, bold: true },
    { text: 'Q', qr: 'https://x.test/r/1' },
  ];

  it('lays out a 58 mm page: 32 characters, big rows padded to 16, drawer first, cut last', () => {
    const out = encodeTextReceipt(rows, 58, true, true);
    expect(hex(out.subarray(0, 7))).toBe('1b 40 1b 70 00 19 fa');
    const text = ascii(out);
    expect(text).toContain('-'.repeat(32) + '\n');
    expect(text).toContain('Subtotal' + ' '.repeat(19) + '12.50\n');
    expect(text).toContain('\x1d\x21\x11Total      12.50\n');
    expect(text).toContain('\x1b\x61\x01\x1b\x45\x00\x1d\x21\x00\x1d\x28\x6b');
    expect(hex(out.subarray(-13))).toBe('1b 45 00 1d 21 00 1b 64 03 1d 56 42 03');
  });

  it('keeps the final feed but leaves out the cut when cutting is off, and opens no drawer unasked', () => {
    const out = encodeTextReceipt(rows, 80, false, false);
    expect(hex(out.subarray(0, 4))).toBe('1b 40 1b 61');
    expect(hex(out.subarray(-3))).toBe('1b 64 03');
    expect(ascii(out)).toContain('Subtotal' + ' '.repeat(35) + '12.50\n');
  });
});

describe('encodeReceipt', () => {
  const image: Bitmap = { bits: new Uint8Array(72 * 300).fill(0xaa), bytesPerRow: 72, height: 300 };
  const calls: { lines: readonly ReceiptLine[]; rtl: boolean }[] = [];
  const render = (lines: readonly ReceiptLine[], _paper: 58 | 80, rtl: boolean) => {
    calls.push({ lines, rtl });
    return image;
  };

  it('prints a document with one Arabic letter entirely as an image, QR codes natively after it', () => {
    calls.length = 0;
    const lines: ReceiptLine[] = [{ text: 'Shop' }, { text: 'Total', right: 'ر' }, { text: '', qr: 'QR-TEXT' }];
    const out = encodeReceipt(lines, { paper: 80, autoCut: true }, true, true, render);
    expect(calls).toEqual([{ lines: lines.slice(0, 2), rtl: true }]);
    expect(out).toEqual(encodeRasterReceipt(image, ['QR-TEXT'], true, true));
    expect(hex(out.subarray(0, 13))).toBe('1b 40 1b 70 00 19 fa 1b 61 01 1d 76 30');
    const text = ascii(out);
    expect(text.indexOf('QR-TEXT')).toBeGreaterThan(text.lastIndexOf('\x1d\x76\x30'));
    expect(text.split('\x1d\x76\x30').length - 1).toBe(2);
    expect(hex(out.subarray(-7))).toBe('1b 64 03 1d 56 42 03');
  });

  it('uses text mode for printable ASCII only, the multiplication sign included', () => {
    calls.length = 0;
    encodeReceipt([{ text: 'Plain', right: '1.00' }], { paper: 58, autoCut: false }, false, false, render);
    expect(calls).toHaveLength(0);
    encodeReceipt([{ text: '  2 × 1.00', right: '2.00' }], { paper: 58, autoCut: false }, false, false, render);
    expect(calls).toHaveLength(1);
  });
});

describe('thresholdBitmap', () => {
  it('blends over white by alpha, is black below 160, and packs the leftmost dot high', () => {
    const pixels: [number, number, number, number][] = [
      [0, 0, 0, 255], // black
      [255, 255, 255, 255], // white
      [0, 0, 0, 0], // transparent black: white paper
      [0, 0, 0, 128], // half black: 127 -> ink
      [159, 159, 159, 255], // just below the line
      [160, 160, 160, 255], // on the line: white
      [255, 0, 0, 255], // red: 76 -> ink
      [0, 0, 255, 255], // blue: 29 -> ink
      [0, 255, 0, 255], // green: 150 -> ink
      [0, 0, 0, 255], // the tenth dot starts a second byte
    ];
    const bitmap = thresholdBitmap(Uint8ClampedArray.from(pixels.flat()), 10, 1);
    expect(bitmap.bytesPerRow).toBe(2);
    expect([...bitmap.bits].map((b) => b.toString(2).padStart(8, '0'))).toEqual(['10011011', '11000000']);
  });
});
