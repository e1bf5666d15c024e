// Clients, their accounts (ledger, payments) and zakat.
import { syncedTable } from '../../storage';
import type { FeatureManifest } from '../../sync';

export const clients: FeatureManifest = {
  name: 'clients',
  modules: [
    { key: 'ledger', label: 'Accounts', roles: ['owner'] },
    {
      key: 'clients',
      label: 'Clients',
      roles: ['owner'],
      verticalLabel: true,
      route: { name: 'clients', icon: 'person' },
    },
  ],
  paletteActions: [{ key: 'ledger', title: 'Customer Accounts', module: 'ledger' }],
  search: [
    {
      kind: 'client',
      module: 'clients',
      icon: '👤',
      sql: `SELECT 'client' AS kind, uuid, name AS title, COALESCE(NULLIF(company, ''), NULLIF(phone, ''), email) AS sub, NULL AS amount,
     COALESCE(name, '') || ' ' || COALESCE(company, '') || ' ' || COALESCE(phone, '') || ' ' ||
     COALESCE(email, '') || ' ' || COALESCE(tax_number, '') AS hay
   FROM clients WHERE deleted = 0`,
    },
  ],
  tables: [
    syncedTable(
      'clients',
      ['name', 'email', 'phone', 'whatsapp_number', 'company', 'address', 'tax_number', 'locale'],
      ['wallet_balance', 'loyalty_points', 'wallet_cards'],
    ),
    syncedTable('settlements', ['client_uuid', 'currency_code', 'amount', 'method', 'reference', 'paid_at', 'shift_uuid']),
  ],
  entities: [
    {
      name: 'client',
      table: 'clients',
      pulled: true,
      resendable: true,
      // Store cards are the server's: kept as it sends them, never sent back.
      jsonColumns: [{ column: 'wallet_cards', field: 'wallet_cards', fallback: [] }],
    },
    {
      name: 'client_payment',
      table: 'settlements',
      pulled: true,
      resendable: true,
      // The payment marked invoices paid here; the server's invoices say what stands.
      onRefused: (context) => context.refetch(),
    },
  ],
};
