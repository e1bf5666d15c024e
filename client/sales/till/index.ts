// The till: selling by keyboard and scanner, offline or online.
import type { FeatureManifest } from '../../sync';
import { localTable } from '../../storage';
import { saleEntity } from './sale-entity';

export { AVAILABLE_STOCK, settleHolds } from './stock-holds';
export { provideTillSyncPort } from './port';
export { salePayloadFromRow } from './sale-entity';

export const till: FeatureManifest = {
  name: 'till',
  modules: [
    {
      key: 'pos',
      label: 'POS',
      roles: ['owner', 'cashier'],
      route: { name: 'pos', icon: 'cart' },
      screen: () => import('./TillView.vue'),
    },
  ],
  paletteActions: [{ key: 'pos', title: 'Open POS', module: 'pos' }],
  tables: [
    localTable('stock_holds', ['sale_uuid', 'product_uuid', 'quantity'], { companyData: true, inBackup: true }),
  ],
  entities: [saleEntity],
};
