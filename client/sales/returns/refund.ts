import { uuidv7 } from '../../core';
import type { LocalDb } from '../../storage';
import { apiFetch, jsonBody } from '../../sync';
import { linesToSend, type ReturnableView } from './return-view';

export const OFFLINE_MESSAGE = 'Returns need a connection: only the server knows what was already returned.';
export const NOTHING_ENTERED = 'Enter how many of each item come back.';
export const UNSYNCED_SALE = 'This sale has not reached the server yet. Sync, then try again.';

export class ReturnError extends Error {
  constructor(
    message: string,
    readonly needsPin = false,
  ) {
    super(message);
    this.name = 'ReturnError';
  }
}

export type RecordedReturn = { uuid: string; number: string; shift_uuid: string | null; method: string; total: number };

export type RefundRequest = {
  view: ReturnableView;
  qty: Record<number, number>;
  method: string;
  uuid: string;
  reason: string | null;
  pin: string | null;
  shiftUuid: string | null;
  /** The refunded sale's own currency: reports group refunds by it. */
  currency: string | null;
};

async function failure(reply: Response): Promise<ReturnError> {
  const body = await jsonBody(reply);
  const message = typeof body.message === 'string' && body.message ? body.message : `HTTP ${reply.status}`;
  return new ReturnError(message, body.needs_pin === true);
}

/** What the server still takes back of a sale. */
export async function returnable(saleUuid: string): Promise<ReturnableView> {
  const reply = await apiFetch(`/pos/sales/${encodeURIComponent(saleUuid)}/returnable`);
  if (!reply.ok) throw await failure(reply);
  return (await reply.json()) as ReturnableView;
}

/**
 * Sends a return and mirrors it locally for the shift report. The uuid is the
 * caller's to keep until this succeeds: a resend after a lost reply or a PIN
 * prompt is the same return on the server and the same row here.
 */
export async function refund(db: LocalDb, request: RefundRequest, now = new Date()): Promise<RecordedReturn> {
  const lines = linesToSend(request.view, request.qty);
  if (lines.length === 0) throw new ReturnError(NOTHING_ENTERED);
  const reply = await apiFetch('/pos/returns', {
    method: 'POST',
    body: JSON.stringify({
      invoice_uuid: request.view.invoice.uuid,
      lines,
      refund_method: request.method,
      uuid: request.uuid,
      reason: request.reason || null,
      shift_uuid: request.shiftUuid,
      override_pin: request.pin || null,
    }),
  });
  if (!reply.ok) throw await failure(reply);
  const recorded = (await jsonBody(reply)).return as RecordedReturn;
  await db.execute(
    'INSERT OR IGNORE INTO pos_refunds (uuid, number, invoice_uuid, shift_uuid, method, amount, currency_code, created_at) ' +
      'VALUES (?, ?, ?, ?, ?, ?, ?, ?)',
    [
      recorded.uuid,
      recorded.number,
      request.view.invoice.uuid,
      recorded.shift_uuid,
      recorded.method,
      recorded.total,
      request.currency,
      now.toISOString(),
    ],
  );
  return recorded;
}

/** The return uuid of the panel: new per sale picked, kept across retries until one succeeds. */
export class ReturnUuid {
  private current = uuidv7();

  get value(): string {
    return this.current;
  }

  renew(): string {
    this.current = uuidv7();
    return this.current;
  }
}
