// The columns of each synchronised table after the last migration step. A
// record from the server is written with only the keys listed here.

const IDENTITY = ['uuid', 'server_id'] as const;
const SYNC_STATE = ['version', 'dirty', 'deleted', 'local_updated_at'] as const;

function columns(own: readonly string[], added: readonly string[] = []): readonly string[] {
  return [...IDENTITY, ...own, ...SYNC_STATE, ...added];
}

export const SYNC_COLUMNS = {
  clients: columns(
    ['name', 'email', 'phone', 'whatsapp_number', 'company', 'address', 'tax_number', 'locale'],
    ['wallet_balance', 'loyalty_points', 'wallet_cards'],
  ),
  products: columns(
    ['type', 'name', 'sku', 'description', 'price', 'cost_price', 'unit', 'category', 'stock', 'stock_alert', 'is_active'],
    ['pos_quick', 'pos_quick_order', 'box_pieces', 'box_price', 'box_barcode', 'is_non_depleting'],
  ),
  invoices: columns(
    [
      'invoice_number', 'offline_reference', 'status', 'client_uuid', 'currency_code', 'invoice_date', 'due_date',
      'notes', 'discount_amount', 'discount_type', 'items_json', 'taxes_json', 'subtotal', 'tax', 'total', 'paid_amount',
    ],
    ['pos_method', 'shift_uuid', 'wallet_card_uuid'],
  ),
  quotations: columns([
    'quotation_number', 'status', 'client_uuid', 'currency_code', 'reference_number', 'quotation_date', 'valid_until',
    'notes', 'terms', 'discount_amount', 'discount_type', 'tax_rate', 'items_json', 'taxes_json', 'subtotal', 'tax',
    'total',
  ]),
  settlements: columns(['client_uuid', 'currency_code', 'amount', 'method', 'reference', 'paid_at', 'shift_uuid']),
  shifts: columns(
    ['opened_at', 'closed_at', 'opening_cash', 'counted_cash', 'notes', 'summary_json'],
    ['counted_json'],
  ),
  stock_adjustments: columns(['product_uuid', 'delta', 'reason']),
  notes: columns(
    ['title', 'body', 'created_at'],
    ['note_date', 'note_time', 'category', 'priority', 'is_pinned'],
  ),
  payables: columns([
    'creditor_name', 'description', 'currency_code', 'total_amount', 'paid_amount', 'due_date', 'status', 'payments_json',
  ]),
  payable_payments: columns(['payable_uuid', 'amount', 'method', 'reference', 'paid_at']),
  pos_events: columns([
    'type', 'shift_uuid', 'product_uuid', 'product_name', 'quantity', 'amount', 'currency_code', 'note', 'occurred_at',
  ]),
  expenses: columns(
    [
      'title', 'category', 'category_label', 'amount', 'currency_code', 'exchange_rate', 'base_amount', 'expense_date',
      'payment_method', 'notes', 'created_at',
    ],
    ['funding_source', 'bank_account_id'],
  ),
  treasury_movements: columns([
    'kind', 'kind_label', 'amount', 'currency_code', 'to_amount', 'to_currency_code', 'bank_account_id',
    'to_bank_account_id', 'bank_name', 'to_bank_name', 'fee', 'occurred_on', 'reference', 'description', 'created_at',
  ]),
  expense_categories: columns(['name', 'icon', 'color', 'sort_order']),
} as const satisfies Record<string, readonly string[]>;

export type SyncTable = keyof typeof SYNC_COLUMNS;

/** A product's stock less what unconfirmed sales hold; `p` aliases `products`. */
export const AVAILABLE_STOCK =
  '(p.stock - IFNULL((SELECT SUM(h.quantity) FROM stock_holds h WHERE h.product_uuid = p.uuid), 0))';
