import type { SaleResult } from './engine';

/**
 * Prints a sale's receipt. Receipt layout and printer encoding live in the
 * receipts folder; until its print call exists this reports that nothing was
 * printed, and the sale-complete dialog says so.
 */
export async function printSaleReceipt(_sale: SaleResult): Promise<boolean> {
  return false;
}
