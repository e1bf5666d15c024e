import { META, type LocalDb } from '../../storage';
import { apiFetch, jsonBody } from '../../sync';
import { roundCents } from './amounts';

// The customer display: a screen facing the customer that follows the till's
// cart through the server. The till pushes its state; the display page polls it.

export type DisplayStatus = 'idle' | 'cart' | 'paying' | 'done';

export interface DisplayLine {
  name: string;
  qty: number;
  price: number;
  total: number;
}

export interface DisplayState {
  status: DisplayStatus;
  lines?: DisplayLine[];
  subtotal?: number;
  discount?: number;
  tax?: number;
  total?: number;
  currency?: string;
  customer?: string | null;
  method?: string | null;
  received?: number | null;
  change?: number | null;
  invoice_uuid?: string;
}

/** What the till shows now, as the display needs it. */
export interface DisplaySource {
  lines: readonly { name: string; quantity: number; unit_price: number }[];
  totals: { subtotal: number; discount: number; tax: number; total: number };
  currency: string;
  customer: string | null;
  method: { key: string; label: string } | undefined;
  tendered: number | null;
  change: number;
}

export const DISPLAY_PUSH_DELAY_MS = 400;
export const DISPLAY_CODE_FAILED = 'The request could not be sent.';

export function displayState(source: DisplaySource): DisplayState {
  const cash = source.method?.key === 'cash';
  const cashEntered = cash && source.tendered !== null;
  const status: DisplayStatus = !source.lines.length ? 'idle' : cashEntered || (source.method && !cash) ? 'paying' : 'cart';
  return {
    status,
    lines: source.lines.map((l) => ({ name: l.name, qty: l.quantity, price: l.unit_price, total: roundCents(l.quantity * l.unit_price) })),
    subtotal: source.totals.subtotal,
    discount: source.totals.discount,
    tax: source.totals.tax,
    total: source.totals.total,
    currency: source.currency,
    customer: source.customer,
    method: source.method?.label ?? null,
    received: cash ? source.tendered : null,
    change: cashEntered ? source.change : null,
  };
}

/** The state after a sale: the cart just before charging, marked done. */
export function doneState(before: DisplayState, invoiceUuid: string, change: number | null): DisplayState {
  return { ...before, status: 'done', invoice_uuid: invoiceUuid, change };
}

/**
 * Sends display states: a change waits 400 ms and replaces any pending one;
 * a state equal to the last one sent is not sent again unless it is sent at
 * once (after a sale). Nothing goes while `canSend` says no; failures are
 * dropped, since the next change pushes again.
 */
export class DisplayPusher {
  private timer: ReturnType<typeof setTimeout> | null = null;
  private last = '';

  constructor(
    private readonly send: (state: DisplayState) => Promise<unknown>,
    private readonly canSend: () => boolean,
    private readonly delayMs = DISPLAY_PUSH_DELAY_MS,
  ) {}

  schedule(state: DisplayState): void {
    this.cancel();
    this.timer = setTimeout(() => {
      this.timer = null;
      this.flush(state, false);
    }, this.delayMs);
  }

  now(state: DisplayState): void {
    this.cancel();
    this.flush(state, true);
  }

  cancel(): void {
    if (this.timer !== null) clearTimeout(this.timer);
    this.timer = null;
  }

  private flush(state: DisplayState, immediate: boolean): void {
    if (!this.canSend()) return;
    const text = JSON.stringify(state);
    if (!immediate && text === this.last) return;
    this.last = text;
    this.send(state).catch(() => undefined);
  }
}

export async function pushDisplayState(state: DisplayState): Promise<void> {
  await apiFetch('/pos/display/push', { method: 'POST', body: JSON.stringify(state) });
}

export async function displayActive(db: LocalDb): Promise<boolean> {
  const [row] = await db.select<{ value: string }>('SELECT value FROM meta WHERE key = ?', [META.customerDisplayActive]);
  return row?.value === '1';
}

/** Asks the server for a pairing code; the device counts as having a display from then on. */
export async function requestDisplayCode(db: LocalDb): Promise<{ code: string; url: string }> {
  let reply: Response;
  try {
    reply = await apiFetch('/pos/display/code', { method: 'POST' });
  } catch {
    throw new Error(DISPLAY_CODE_FAILED);
  }
  const body = await jsonBody(reply);
  if (!reply.ok || typeof body.code !== 'string') {
    const message = typeof body.message === 'string' ? body.message : typeof body.error === 'string' ? body.error : DISPLAY_CODE_FAILED;
    throw new Error(message);
  }
  await db.execute('INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)', [META.customerDisplayActive, '1']);
  return { code: body.code, url: typeof body.url === 'string' ? body.url : '' };
}
