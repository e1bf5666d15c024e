// Refunds of till sales and client settlements.
export { default as ReturnPanel } from './ReturnPanel.vue';
import { localTable, syncedTable } from '../../storage';
import type { FeatureManifest } from '../../sync';

export {
  preselectedMethod,
  quantityToSend,
  refundMethods,
  returnAmount,
  STORE_CREDIT,
  type RefundMethod,
  type ReturnableLine,
  type ReturnableView,
} from './return-view';
export {
  NOTHING_ENTERED,
  OFFLINE_MESSAGE,
  refund,
  returnable,
  ReturnError,
  ReturnUuid,
  UNSYNCED_SALE,
  type RecordedReturn,
  type RefundRequest,
} from './refund';

export const returns: FeatureManifest = {
  name: 'returns',
  tables: [
    localTable(
      'pos_refunds',
      ['uuid', 'number', 'invoice_uuid', 'shift_uuid', 'method', 'amount', 'currency_code', 'created_at'],
      { companyData: true, inBackup: true },
    ),
    syncedTable('pos_returns', ['number', 'invoice_uuid', 'shift_uuid', 'method', 'amount', 'currency_code', 'created_at']),
  ],
  // Returns reach every till: the daily close counts those made on the others.
  entities: [{ name: 'pos_return', table: 'pos_returns', pulled: true, resendable: false }],
};
