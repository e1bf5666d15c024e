// What the receipt, the settings screen and the documents do with a printer.
import { language, translate as t } from '../../shell';
import { encodeReceipt, type BitmapRenderer } from './encode';
import { printHtml, rollHtml } from './html-print';
import { loadPrinterConfig, savePrinterConfig } from './printer-config';
import { testPageLines } from './receipt-lines';
import { drawerKickBytes, feedAndCutBytes } from './text-receipt';
import { sendToPrinter } from './transport';
import type { PrintDocument, PrinterConfig, ReceiptLine } from './types';

const rtl = () => language.value === 'ar';

/**
 * Prints a sale's rows with the stored configuration: the browser's dialog
 * for the "browser" kind, else printer bytes, opening the drawer first for a
 * cash sale when that is switched on. `render` lets the on-screen preview hand
 * over the very image it shows.
 */
export async function printReceiptLines(
  lines: readonly ReceiptLine[],
  title: string,
  cash: boolean,
  render?: BitmapRenderer,
): Promise<void> {
  const config = await loadPrinterConfig();
  if (config.kind === 'browser') {
    await printHtml(title || t('Receipt'), rollHtml(lines), config.paper);
    return;
  }
  await sendToPrinter(config, encodeReceipt(lines, config, rtl(), config.drawerOnCash && cash, render));
}

export async function printDocument(document: PrintDocument): Promise<void> {
  const config = await loadPrinterConfig();
  if (config.kind === 'browser') {
    await printHtml(document.title, rollHtml(document.lines), config.paper);
    return;
  }
  await sendToPrinter(config, encodeReceipt(document.lines, config, rtl(), false));
}

export async function printA4(document: PrintDocument): Promise<void> {
  await printHtml(document.title, document.html, 'a4');
}

export async function openDrawer(config?: PrinterConfig): Promise<void> {
  await sendToPrinter(config ?? (await loadPrinterConfig()), drawerKickBytes());
}

export async function cutPaper(): Promise<void> {
  await sendToPrinter(await loadPrinterConfig(), feedAndCutBytes());
}

/** Saves the configuration, then prints the test page with it. */
export async function printTestPage(config: PrinterConfig): Promise<void> {
  await savePrinterConfig(config);
  await sendToPrinter(config, encodeReceipt(testPageLines(config.paper), config, rtl(), false));
}
