import type { EntityDescriptor, Fields } from '../../sync';
import { settleHolds, settleSaleVerdict } from './stock-holds';

const DOCUMENT_LINES = [
  { column: 'items_json', field: 'items', fallback: [], send: true },
  { column: 'taxes_json', field: 'taxes', fallback: [], send: true },
] as const;

/** The sale payload rebuilt from its invoices row, for a dead letter that lost its data. */
export function salePayloadFromRow(row: Fields): Fields {
  const sale: Fields = {
    client_uuid: row.client_uuid,
    offline_reference: row.offline_reference,
    items_json: row.items_json,
    taxes_json: row.taxes_json,
    discount_amount: row.discount_amount,
    discount_type: row.discount_type,
    payment_method: row.pos_method ?? 'cash',
    sold_at: row.invoice_date,
    shift_uuid: row.shift_uuid,
  };
  if (row.wallet_card_uuid) sale.wallet_card_uuid = row.wallet_card_uuid;
  return sale;
}

/** A till sale: kept in the invoices table, pushed only; the server numbers it. */
export const saleEntity: EntityDescriptor = {
  name: 'pos_sale',
  table: 'invoices',
  pulled: false,
  resendable: true,
  jsonColumns: DOCUMENT_LINES,
  toPayload(_data, base) {
    // A walk-in sale has no client.
    if (!base.client_uuid) delete base.client_uuid;
    return base;
  },
  rebuildPayload: salePayloadFromRow,
  afterVerdict: settleSaleVerdict,
  onDismissed: (db, uuid) => settleHolds(db, uuid, false),
};
