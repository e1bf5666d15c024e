import { DOCUMENT_ENTITIES, type Entity } from './entities';

export type Fields = Record<string, unknown>;

const LOCAL_ONLY = [
  'uuid', 'server_id', 'version', 'dirty', 'deleted', 'local_updated_at',
  'items_json', 'taxes_json', 'summary_json', 'counted_json', 'payments_json',
];

function parsedList(text: unknown): unknown {
  if (typeof text !== 'string' || text === '') return [];
  try {
    return JSON.parse(text);
  } catch {
    return [];
  }
}

/** What travels to the server for a local record: no sync bookkeeping, documents with their full lines. */
export function payload(entity: Entity, data: Fields): Fields {
  const out: Fields = {};
  for (const [key, value] of Object.entries(data)) if (!LOCAL_ONLY.includes(key)) out[key] = value;
  if (entity === 'pos_shift' && typeof data.counted_json === 'string') out.counted = parsedList(data.counted_json);
  if (entity === 'pos_sale' && !data.client_uuid) delete out.client_uuid;
  if (DOCUMENT_ENTITIES.includes(entity)) {
    out.items = parsedList(data.items_json);
    out.taxes = parsedList(data.taxes_json);
  }
  return out;
}

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
  return payload('pos_sale', sale);
}
