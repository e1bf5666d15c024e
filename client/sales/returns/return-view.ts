import { parseScaled } from '../../core';

// The server's view of what a sale can still give back, and the pure rules
// the return panel applies to it before anything is sent.

export type ReturnableLine = {
  invoice_item_id: number;
  name: string;
  sold: number;
  returned: number;
  returnable: number;
  unit_price: number;
  /** Sold by weight: fractions come back as typed (to the gram). */
  weighed?: boolean;
};

export type ReturnableView = {
  invoice: { uuid: string; number: string; client: string | null; total: number; method: string | null };
  lines: ReturnableLine[];
  refusal: string | null;
};

export type RefundMethod = { key: string; label: string; type: string };

export const WALK_IN = 'Walk-in Customer';
export const STORE_CREDIT = 'wallet';

const QTY_DIGITS = 3;

function isWeighed(line: ReturnableLine): boolean {
  return line.weighed === true || !Number.isInteger(line.sold) || !Number.isInteger(line.returnable);
}

/** The quantity that goes back for a typed value: capped, whole units unless weighed. */
export function quantityToSend(line: ReturnableLine, typed: number): number {
  if (!Number.isFinite(typed) || typed <= 0) return 0;
  const capped = Math.min(typed, line.returnable);
  if (!isWeighed(line)) return Math.floor(capped);
  const scale = 10 ** QTY_DIGITS;
  return Math.floor(Math.round(capped * scale * 10) / 10) / scale;
}

/** Lines for the request; lines with nothing coming back are left out. */
export function linesToSend(view: ReturnableView, qty: Record<number, number>): { invoice_item_id: number; quantity: number }[] {
  return view.lines
    .map((line) => ({ invoice_item_id: line.invoice_item_id, quantity: quantityToSend(line, qty[line.invoice_item_id] ?? 0) }))
    .filter((line) => line.quantity > 0);
}

/** Amount shown on the Return button, in scaled integer units of the sale's currency. */
export function returnAmount(view: ReturnableView, qty: Record<number, number>, digits: number): bigint {
  let total = 0n;
  for (const line of view.lines) {
    const quantity = parseScaled(quantityToSend(line, qty[line.invoice_item_id] ?? 0), QTY_DIGITS) ?? 0n;
    const price = parseScaled(line.unit_price, digits) ?? 0n;
    const product = quantity * price;
    const unit = 10n ** BigInt(QTY_DIGITS);
    total += (product + unit / 2n) / unit;
  }
  return total;
}

/** Till methods a refund can go to: never an account method; store credit only for a named client. */
export function refundMethods(tillMethods: RefundMethod[], view: ReturnableView, storeCreditLabel: string): RefundMethod[] {
  const methods = tillMethods.filter((m) => m.type !== 'account');
  const client = view.invoice.client;
  if (client && client !== WALK_IN) methods.push({ key: STORE_CREDIT, label: storeCreditLabel, type: 'account' });
  return methods;
}

/** The method picked when a sale is opened: its own unless that is an account method. */
export function preselectedMethod(tillMethods: RefundMethod[], view: ReturnableView): string {
  const own = tillMethods.find((m) => m.key === view.invoice.method);
  if (own && own.type !== 'account') return own.key;
  return tillMethods.find((m) => m.type !== 'account')?.key ?? 'cash';
}
