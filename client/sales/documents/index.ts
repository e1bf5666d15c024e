// Invoices and quotations.
import { syncedTable } from '../../storage';
import type { EntityDescriptor, FeatureManifest } from '../../sync';

export { provideDocumentsSyncPort } from './port';

const LINES = [
  { column: 'items_json', field: 'items', fallback: [], send: true },
  { column: 'taxes_json', field: 'taxes', fallback: [], send: true },
] as const;

const document = (name: string, table: string): EntityDescriptor => ({
  name,
  table,
  pulled: true,
  resendable: false,
  jsonColumns: LINES,
});

export const documents: FeatureManifest = {
  name: 'documents',
  modules: [
    {
      key: 'invoices',
      label: 'Invoices',
      roles: ['owner'],
      verticalLabel: true,
      route: { name: 'invoices', icon: 'receipt' },
      screen: () => import('./InvoicesView.vue'),
    },
    { key: 'quotes', label: 'Quotations', roles: ['owner'], screen: () => import('./QuotesView.vue') },
  ],
  // The lists open their form on these requests.
  paletteActions: [
    { key: 'invoice', title: 'New invoice', module: 'invoices', focus: { kind: 'new-invoice', uuid: '' } },
    { key: 'quotation', title: 'New quotation', module: 'quotes', focus: { kind: 'new-quotation', uuid: '' } },
  ],
  search: [
    {
      kind: 'invoice',
      module: 'invoices',
      icon: '🧾',
      sql: `SELECT 'invoice' AS kind, i.uuid AS uuid, COALESCE(i.invoice_number, i.offline_reference) AS title,
     c.name AS sub, i.total AS amount,
     COALESCE(i.invoice_number, '') || ' ' || COALESCE(i.offline_reference, '') || ' ' || COALESCE(c.name, '') AS hay
   FROM invoices i LEFT JOIN clients c ON c.uuid = i.client_uuid WHERE i.deleted = 0`,
    },
    {
      kind: 'quotation',
      module: 'quotes',
      icon: '📄',
      sql: `SELECT 'quotation' AS kind, q.uuid AS uuid, COALESCE(q.quotation_number, '…') AS title, c.name AS sub,
     q.total AS amount, COALESCE(q.quotation_number, '') || ' ' || COALESCE(c.name, '') AS hay
   FROM quotations q LEFT JOIN clients c ON c.uuid = q.client_uuid WHERE q.deleted = 0`,
    },
  ],
  tables: [
    syncedTable(
      'invoices',
      [
        'invoice_number', 'offline_reference', 'status', 'client_uuid', 'currency_code', 'invoice_date', 'due_date',
        'notes', 'discount_amount', 'discount_type', 'items_json', 'taxes_json', 'subtotal', 'tax', 'total', 'paid_amount',
      ],
      ['pos_method', 'shift_uuid', 'wallet_card_uuid'],
    ),
    syncedTable('quotations', [
      'quotation_number', 'status', 'client_uuid', 'currency_code', 'reference_number', 'quotation_date', 'valid_until',
      'notes', 'terms', 'discount_amount', 'discount_type', 'tax_rate', 'items_json', 'taxes_json', 'subtotal', 'tax',
      'total',
    ]),
  ],
  entities: [document('invoice', 'invoices'), document('quotation', 'quotations')],
};
