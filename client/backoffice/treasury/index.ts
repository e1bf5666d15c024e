// Treasury: cash and bank movements, transfers, exchanges.
import { syncedTable } from '../../storage';
import type { FeatureManifest } from '../../sync';

export const treasury: FeatureManifest = {
  name: 'treasury',
  modules: [{ key: 'treasury', label: 'Treasury', roles: ['owner'] }],
  tables: [
    syncedTable('treasury_movements', [
      'kind', 'kind_label', 'amount', 'currency_code', 'to_amount', 'to_currency_code', 'bank_account_id',
      'to_bank_account_id', 'bank_name', 'to_bank_name', 'fee', 'occurred_on', 'reference', 'description', 'created_at',
    ]),
  ],
  entities: [{ name: 'treasury_movement', table: 'treasury_movements', pulled: true, resendable: false }],
};
