// Refunds of till sales and client settlements.
import { localTable } from '../../storage';
import type { FeatureManifest } from '../../sync';

export const returns: FeatureManifest = {
  name: 'returns',
  tables: [
    localTable(
      'pos_refunds',
      ['uuid', 'number', 'invoice_uuid', 'shift_uuid', 'method', 'amount', 'currency_code', 'created_at'],
      { companyData: true, inBackup: true },
    ),
  ],
};
