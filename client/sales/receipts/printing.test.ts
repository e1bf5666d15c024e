import { afterEach, beforeEach, describe, expect, it } from 'vitest';
import type { FakeHost } from '../../bridge/testing';
import { applyLanguage } from '../../shell';
import { installFakeHostDatabase } from '../../storage/testing';
import { linesToHtml } from './html-print';
import { loadPrinterConfig, parsePrinterConfig, savePrinterConfig } from './printer-config';
import { buildReceiptLines, eReceiptText } from './receipt-lines';
import { renderReceiptBitmap } from './render-bitmap';
import { sendToPrinter } from './transport';
import type { PrinterConfig, SaleResult } from './types';

const DEFAULTS = { kind: 'browser', paper: 80, autoCut: true, drawerOnCash: true, autoPrint: false };

describe('printer configuration', () => {
  it.each<[string, string | null, Partial<PrinterConfig>]>([
    ['missing row', null, DEFAULTS as Partial<PrinterConfig>],
    ['unreadable JSON', '{kind:', DEFAULTS as Partial<PrinterConfig>],
    ['a list', '[1]', DEFAULTS as Partial<PrinterConfig>],
    ['stored fields over the defaults', '{"kind":"network","host":"10.0.0.9","paper":58}', { ...DEFAULTS, kind: 'network', host: '10.0.0.9', paper: 58 } as Partial<PrinterConfig>],
    ['fields of the wrong kind dropped', '{"kind":"fax","paper":72,"autoCut":"no","name":5}', DEFAULTS as Partial<PrinterConfig>],
  ])('%s', (_name, stored, expected) => {
    expect(parsePrinterConfig(stored)).toEqual(expected);
  });
});

describe('the printer transport', () => {
  let host: FakeHost;
  beforeEach(async () => {
    host = await installFakeHostDatabase();
    applyLanguage('en');
  });
  afterEach(() => host.uninstall());

  it('saves and loads through meta, and prints to port 9100 when the port field is empty', async () => {
    const config = { ...parsePrinterConfig(null), kind: 'network' as const, host: '127.0.0.9', port: '' };
    await savePrinterConfig(config);
    expect(await loadPrinterConfig()).toEqual(config);
    await sendToPrinter(await loadPrinterConfig(), Uint8Array.from([0x1b, 0x40, 0xff]));
    expect(host.jobs).toEqual([{ target: '127.0.0.9:9100', data: 'G0D/' }]);
    expect(host.calls.at(-1)?.args).toMatchObject({ port: 9100 });
  });

  it.each<[Partial<PrinterConfig>, string]>([
    [{ kind: 'system', name: ' ' }, 'Choose the receipt printer first.'],
    [{ kind: 'network', host: '' }, "Enter the printer's IP address first."],
    [{ kind: 'bluetooth' }, 'Choose the Bluetooth printer first.'],
    [{ kind: 'browser' }, 'The browser printer has no direct commands.'],
  ])('refuses %j before calling the host', async (fields, message) => {
    const config = { ...parsePrinterConfig(null), ...fields };
    await expect(sendToPrinter(config, Uint8Array.of(1))).rejects.toThrow(message);
    expect(host.jobs).toEqual([]);
  });

  it("rejects with the host's own message", async () => {
    host.uninstall();
    const { installFakeHost } = await import('../../bridge/testing');
    host = installFakeHost({ handlers: { printer_print_raw: () => { throw 'printer "Q" was not found'; } } });
    await expect(
      sendToPrinter({ ...parsePrinterConfig(null), kind: 'system', name: 'Q' }, Uint8Array.of(1)),
    ).rejects.toThrow('printer "Q" was not found');
  });
});

const sale: SaleResult = {
  uuid: 'u1',
  reference: 'POS-3F2A-00012',
  soldAt: '2025-03-04T10:15:00Z',
  lines: [
    { name: 'Tea <green>', quantity: 2, unit_price: 1.25 },
    { name: 'Rice', quantity: 0.75, unit_price: 4 },
  ],
  formal: false,
  subtotal: 5.5,
  discount: 0.5,
  tax: 0,
  total: 5,
  pointsUsed: 0,
  pointsValue: 0,
  method: 'cash',
  tendered: 10,
  change: 5,
  client: { name: 'Huda' },
  offline: false,
  currency: 'LYD',
};

describe('the sale receipt', () => {
  it('lays out the sale rows', () => {
    applyLanguage('en');
    const rows = buildReceiptLines(sale, 'Corner Shop', { commercialRegister: 'CR-77' });
    expect(rows.map((r) => (r.rule ? '---' : r.right !== undefined ? `${r.text} | ${r.right}` : r.text))).toEqual([
      'Corner Shop',
      'Commercial Register (CR): CR-77',
      'Receipt POS-3F2A-00012',
      new Date(sale.soldAt).toLocaleString(),
      'Customer: Huda',
      '---',
      'Tea <green>',
      '  2 × 1.25 | 2.50',
      'Rice',
      '  0.75 × 4.00 | 3.00',
      '---',
      'Subtotal | 5.50',
      'Discount | -0.50',
      'Total | 5.00 LYD',
      'Paid by | Cash',
      'Cash received | 10.00',
      'Change | 5.00',
      '---',
      'Thank you for your purchase!',
    ]);
    expect(rows.find((r) => r.text === 'Total')).toMatchObject({ bold: true, big: true });
    applyLanguage('ar');
    expect(buildReceiptLines(sale, 'x', { commercialRegister: 'CR-77' })[1]?.text).toBe('السجل التجاري: \u2066CR-77\u2069');
  });

  it('writes the e-receipt text', () => {
    applyLanguage('en');
    const when = new Intl.DateTimeFormat('en-GB', { dateStyle: 'medium', timeStyle: 'short' }).format(new Date(sale.soldAt));
    expect(eReceiptText({ ...sale, method: 'credit', tendered: null }, 'Corner Shop', 'LYD')).toBe(
      [
        '*Corner Shop*',
        'Informal receipt POS-3F2A-00012',
        when,
        'Customer: Huda',
        '────────────',
        'Tea <green>',
        '  2 × 1.25 = 2.50',
        'Rice',
        '  0.75 × 4.00 = 3.00',
        '────────────',
        'Subtotal: 5.50',
        'Discount: −0.50',
        '*Total: 5.00 LYD*',
        'Paid by: Credit',
        'Added to your account: 5.00 LYD',
        '────────────',
        'Thank you for your purchase!',
      ].join('\n'),
    );
  });

  it('escapes every text in HTML', () => {
    expect(linesToHtml([{ text: `<a href="x">&'`, bold: true, align: 'center' }, { text: 'T', right: '<1>' }, { text: '', rule: true }])).toBe(
      '<div class="b c">&#60;a href=&#34;x&#34;&#62;&#38;&#39;</div>' +
        '<div class="row"><span>T</span><span class="n">&#60;1&#62;</span></div><hr>',
    );
  });
});

describe('renderReceiptBitmap', () => {
  // A canvas that draws nothing: what a web view gives past its size limit.
  const blankCanvas = (width: number, height: number) =>
    ({
      getContext: () => ({
        fillRect() {},
        fillText() {},
        translate() {},
        getImageData: () => ({ data: new Uint8ClampedArray(width * height * 4).fill(255) }),
      }),
    }) as unknown as HTMLCanvasElement;

  it('fails instead of returning blank paper, and refuses a receipt too long to send', () => {
    expect(() => renderReceiptBitmap([{ text: 'مرحبا' }], 80, true, blankCanvas)).toThrow('The receipt could not be drawn.');
    expect(() => renderReceiptBitmap([{ text: 'x' }], 80, true, () => ({ getContext: () => null }) as unknown as HTMLCanvasElement)).toThrow(
      'The receipt could not be drawn.',
    );
    const endless = Array.from({ length: 2000 }, () => ({ text: 'سطر' }));
    expect(() => renderReceiptBitmap(endless, 80, true, blankCanvas)).toThrow('The receipt is too long to print.');
    // Blank rows need no ink.
    expect(renderReceiptBitmap([{ text: ' ' }], 58, false, blankCanvas)).toMatchObject({ bytesPerRow: 48, height: 43 });
  });

  it.each([true, false])('draws a one-column row in the direction of its first letter (Arabic receipt: %s)', (rtl) => {
    // Canvases that ignore isolates would otherwise print an Arabic receipt's time as "PM 5:06:22 ,12/10/2026".
    const drawn: [string, string][] = [];
    const recordingCanvas = (width: number, height: number) =>
      ({
        getContext: () => {
          const ctx = {
            direction: 'inherit',
            fillRect() {},
            translate() {},
            fillText(text: string) {
              drawn.push([text, ctx.direction]);
            },
            getImageData: () => ({ data: new Uint8ClampedArray(width * height * 4).map((_, i) => (i % 4 === 3 ? 255 : 0)) }),
          };
          return ctx;
        },
      }) as unknown as HTMLCanvasElement;
    const time = '\u206812/10/2026, 5:06:22 PM\u2069';
    renderReceiptBitmap(
      [{ text: time, align: 'center' }, { text: 'مرحبا ABC' }, { text: 'ABC مرحبا' }, { text: '9,999.00' }, { text: 'الورق', right: '80 mm' }],
      80,
      rtl,
      recordingCanvas,
    );
    const receipt = rtl ? 'rtl' : 'ltr';
    expect(drawn).toEqual([
      [time, 'ltr'],
      ['مرحبا ABC', 'rtl'],
      ['ABC مرحبا', 'ltr'],
      ['9,999.00', receipt],
      ['الورق', receipt],
      ['80 mm', 'ltr'],
    ]);
  });
});
