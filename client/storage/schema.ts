import type { LocalDb } from './local-db';

// Every synchronised table has the record columns around its own ones:
// identity first, sync state last.
function recordTable(name: string, columns: string): string {
  return (
    `CREATE TABLE IF NOT EXISTS ${name} (uuid TEXT PRIMARY KEY, server_id INTEGER, ${columns}, ` +
    'version TEXT, dirty INTEGER NOT NULL DEFAULT 0, deleted INTEGER NOT NULL DEFAULT 0, local_updated_at TEXT NOT NULL)'
  );
}

/** Run one by one on every open; each is harmless when the object exists. */
export const BASE_STATEMENTS: readonly string[] = [
  recordTable(
    'clients',
    'name TEXT NOT NULL, email TEXT, phone TEXT, whatsapp_number TEXT, company TEXT, address TEXT, tax_number TEXT, locale TEXT',
  ),
  recordTable(
    'products',
    'type TEXT, name TEXT NOT NULL, sku TEXT, description TEXT, price REAL NOT NULL, cost_price REAL, unit TEXT, ' +
      'category TEXT, stock REAL NOT NULL DEFAULT 0, stock_alert INTEGER, is_active INTEGER NOT NULL DEFAULT 1',
  ),
  recordTable(
    'invoices',
    "invoice_number TEXT, offline_reference TEXT, status TEXT NOT NULL DEFAULT 'pending_review', " +
      'client_uuid TEXT NOT NULL, currency_code TEXT, invoice_date TEXT, due_date TEXT NOT NULL, notes TEXT, ' +
      "discount_amount REAL NOT NULL DEFAULT 0, discount_type TEXT NOT NULL DEFAULT 'fixed', items_json TEXT NOT NULL, " +
      "taxes_json TEXT NOT NULL DEFAULT '[]', subtotal REAL, tax REAL, total REAL, paid_amount REAL NOT NULL DEFAULT 0",
  ),
  recordTable(
    'quotations',
    "quotation_number TEXT, status TEXT NOT NULL DEFAULT 'pending', client_uuid TEXT NOT NULL, currency_code TEXT, " +
      'reference_number TEXT, quotation_date TEXT, valid_until TEXT, notes TEXT, terms TEXT, ' +
      "discount_amount REAL NOT NULL DEFAULT 0, discount_type TEXT NOT NULL DEFAULT 'fixed', tax_rate REAL NOT NULL DEFAULT 0, " +
      "items_json TEXT NOT NULL, taxes_json TEXT NOT NULL DEFAULT '[]', subtotal REAL, tax REAL, total REAL",
  ),
  'CREATE TABLE IF NOT EXISTS outbox (seq INTEGER PRIMARY KEY AUTOINCREMENT, op_id TEXT NOT NULL UNIQUE, ' +
    "entity TEXT NOT NULL, action TEXT NOT NULL CHECK (action IN ('upsert','delete')), uuid TEXT NOT NULL, " +
    'base_version TEXT, client_updated_at TEXT NOT NULL, data_json TEXT, ' +
    "state TEXT NOT NULL DEFAULT 'pending' CHECK (state IN ('pending','inflight')), attempts INTEGER NOT NULL DEFAULT 0)",
  'CREATE INDEX IF NOT EXISTS outbox_uuid ON outbox (entity, uuid, state)',
  'CREATE TABLE IF NOT EXISTS dead_letter (op_id TEXT PRIMARY KEY, entity TEXT, uuid TEXT, reason TEXT, ' +
    'detail_json TEXT, created_at TEXT)',
  'CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT)',
];

/**
 * Steps are only ever appended and never edited: step n moves
 * "schema_version" from n - 1 to n. A step may meet columns that an older
 * client already added, so the runner tolerates duplicate columns.
 */
export const MIGRATIONS: readonly (readonly string[])[] = [
  [
    'ALTER TABLE invoices ADD COLUMN pos_method TEXT',
    'ALTER TABLE invoices ADD COLUMN shift_uuid TEXT',
    'ALTER TABLE dead_letter ADD COLUMN data_json TEXT',
    recordTable(
      'settlements',
      'client_uuid TEXT NOT NULL, currency_code TEXT, amount REAL NOT NULL, method TEXT NOT NULL, reference TEXT, ' +
        'paid_at TEXT NOT NULL, shift_uuid TEXT',
    ),
    recordTable(
      'shifts',
      'opened_at TEXT NOT NULL, closed_at TEXT, opening_cash REAL NOT NULL DEFAULT 0, counted_cash REAL, notes TEXT, summary_json TEXT',
    ),
    'CREATE TABLE IF NOT EXISTS stock_holds (sale_uuid TEXT NOT NULL, product_uuid TEXT NOT NULL, ' +
      'quantity REAL NOT NULL, PRIMARY KEY (sale_uuid, product_uuid))',
    'CREATE INDEX IF NOT EXISTS invoices_debt ON invoices (client_uuid, status)',
  ],
  [
    'ALTER TABLE clients ADD COLUMN wallet_balance REAL NOT NULL DEFAULT 0',
    'ALTER TABLE clients ADD COLUMN loyalty_points INTEGER NOT NULL DEFAULT 0',
    recordTable('stock_adjustments', 'product_uuid TEXT NOT NULL, delta REAL NOT NULL, reason TEXT'),
  ],
  [recordTable('notes', 'title TEXT, body TEXT NOT NULL, created_at TEXT')],
  [
    recordTable(
      'pos_events',
      'type TEXT NOT NULL, shift_uuid TEXT, product_uuid TEXT, product_name TEXT, quantity REAL NOT NULL DEFAULT 0, ' +
        'amount REAL NOT NULL DEFAULT 0, currency_code TEXT, note TEXT, occurred_at TEXT NOT NULL',
    ),
    'ALTER TABLE shifts ADD COLUMN counted_json TEXT',
    recordTable(
      'payables',
      'creditor_name TEXT NOT NULL, description TEXT, currency_code TEXT, total_amount REAL NOT NULL, ' +
        "paid_amount REAL NOT NULL DEFAULT 0, due_date TEXT, status TEXT NOT NULL DEFAULT 'open', payments_json TEXT",
    ),
    recordTable(
      'payable_payments',
      'payable_uuid TEXT NOT NULL, amount REAL NOT NULL, method TEXT NOT NULL, reference TEXT, paid_at TEXT NOT NULL',
    ),
  ],
  [
    'ALTER TABLE products ADD COLUMN pos_quick INTEGER NOT NULL DEFAULT 0',
    'ALTER TABLE products ADD COLUMN pos_quick_order INTEGER',
    'CREATE TABLE IF NOT EXISTS pos_refunds (uuid TEXT PRIMARY KEY, number TEXT, invoice_uuid TEXT NOT NULL, ' +
      'shift_uuid TEXT, method TEXT NOT NULL, amount REAL NOT NULL, currency_code TEXT, created_at TEXT NOT NULL)',
  ],
  ['ALTER TABLE clients ADD COLUMN wallet_cards TEXT', 'ALTER TABLE invoices ADD COLUMN wallet_card_uuid TEXT'],
  [
    recordTable(
      'expenses',
      'title TEXT NOT NULL, category TEXT NOT NULL, category_label TEXT, amount REAL NOT NULL, currency_code TEXT, ' +
        'exchange_rate REAL, base_amount REAL, expense_date TEXT NOT NULL, payment_method TEXT, notes TEXT, created_at TEXT',
    ),
    'CREATE INDEX IF NOT EXISTS expenses_date ON expenses (expense_date)',
    recordTable(
      'expense_categories',
      'name TEXT NOT NULL, icon TEXT, color TEXT, sort_order INTEGER NOT NULL DEFAULT 0',
    ),
  ],
  [
    recordTable(
      'treasury_movements',
      'kind TEXT NOT NULL, kind_label TEXT, amount REAL NOT NULL, currency_code TEXT, to_amount REAL, ' +
        'to_currency_code TEXT, bank_account_id INTEGER, to_bank_account_id INTEGER, bank_name TEXT, to_bank_name TEXT, ' +
        'fee REAL NOT NULL DEFAULT 0, occurred_on TEXT NOT NULL, reference TEXT, description TEXT, created_at TEXT',
    ),
    'CREATE INDEX IF NOT EXISTS treasury_movements_day ON treasury_movements (occurred_on)',
    'ALTER TABLE expenses ADD COLUMN funding_source TEXT',
    'ALTER TABLE expenses ADD COLUMN bank_account_id INTEGER',
  ],
  [
    'ALTER TABLE notes ADD COLUMN note_date TEXT',
    'ALTER TABLE notes ADD COLUMN note_time TEXT',
    'ALTER TABLE notes ADD COLUMN category TEXT',
    'ALTER TABLE notes ADD COLUMN priority TEXT',
    'ALTER TABLE notes ADD COLUMN is_pinned INTEGER NOT NULL DEFAULT 0',
    'CREATE INDEX IF NOT EXISTS notes_day ON notes (note_date)',
  ],
  [
    'ALTER TABLE products ADD COLUMN box_pieces INTEGER NOT NULL DEFAULT 0',
    'ALTER TABLE products ADD COLUMN box_price REAL',
    'ALTER TABLE products ADD COLUMN box_barcode TEXT',
    'ALTER TABLE products ADD COLUMN is_non_depleting INTEGER NOT NULL DEFAULT 0',
    'CREATE INDEX IF NOT EXISTS products_box_barcode ON products (box_barcode)',
    // The next pull starts over, so the new columns get filled.
    "DELETE FROM meta WHERE key = 'pull_cursor'",
  ],
  [
    // Queued and refused changes belong to the account that made them.
    'ALTER TABLE outbox ADD COLUMN company_id TEXT',
    'ALTER TABLE outbox ADD COLUMN user_id TEXT',
    'ALTER TABLE dead_letter ADD COLUMN company_id TEXT',
    'ALTER TABLE dead_letter ADD COLUMN user_id TEXT',
  ],
  [
    // The till finds a scanned code through these at any catalogue size, and
    // reads a product's held stock without scanning every hold.
    'CREATE INDEX IF NOT EXISTS products_sku ON products (sku COLLATE NOCASE)',
    'CREATE INDEX IF NOT EXISTS products_box_code ON products (box_barcode COLLATE NOCASE)',
    'CREATE INDEX IF NOT EXISTS products_name ON products (name)',
    'CREATE INDEX IF NOT EXISTS stock_holds_product ON stock_holds (product_uuid)',
  ],
  [
    // Search while typing reads names and codes from this index alone, in name order.
    'DROP INDEX IF EXISTS products_name',
    'CREATE INDEX IF NOT EXISTS products_search ON products (name, sku, box_barcode, deleted, is_active)',
  ],
  [
    // Returns as the server recorded them, from every till of the company.
    recordTable(
      'pos_returns',
      'number TEXT, invoice_uuid TEXT NOT NULL, shift_uuid TEXT, method TEXT NOT NULL, amount REAL NOT NULL, ' +
        'currency_code TEXT, created_at TEXT NOT NULL',
    ),
    'CREATE INDEX IF NOT EXISTS pos_returns_shift ON pos_returns (shift_uuid)',
  ],
  [
    // Every push first claims what nobody owned; these keep that claim from
    // reading the whole queue each time.
    'CREATE INDEX IF NOT EXISTS outbox_unowned ON outbox (company_id) WHERE company_id IS NULL',
    'CREATE INDEX IF NOT EXISTS dead_letter_unowned ON dead_letter (company_id) WHERE company_id IS NULL',
  ],
];

export const SCHEMA_VERSION = MIGRATIONS.length;

export async function createSchema(db: LocalDb): Promise<void> {
  for (const statement of BASE_STATEMENTS) await db.execute(statement);
}
