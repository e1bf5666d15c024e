// Payables: what the business owes, and its payments.
import { syncedTable } from '../../storage';
import type { FeatureManifest } from '../../sync';

export const payables: FeatureManifest = {
  name: 'payables',
  modules: [{ key: 'payables', label: 'Payables', roles: ['owner'] }],
  tables: [
    syncedTable('payables', [
      'creditor_name', 'description', 'currency_code', 'total_amount', 'paid_amount', 'due_date', 'status', 'payments_json',
    ]),
    syncedTable('payable_payments', ['payable_uuid', 'amount', 'method', 'reference', 'paid_at']),
  ],
  entities: [
    {
      name: 'payable',
      table: 'payables',
      pulled: true,
      resendable: false,
      jsonColumns: [{ column: 'payments_json', field: 'payments', fallback: [] }],
    },
    {
      name: 'payable_payment',
      table: 'payable_payments',
      pulled: false,
      resendable: false,
      // The payment raised the payable's paid amount here; the server's payable says what stands.
      onRefused: (context) => context.refetch(),
    },
  ],
};
