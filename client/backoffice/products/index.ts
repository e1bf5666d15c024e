// Products: the catalogue, categories, units, stock and its adjustments.
import { syncedTable } from '../../storage';
import type { FeatureManifest } from '../../sync';

export const products: FeatureManifest = {
  name: 'products',
  modules: [
    {
      key: 'products',
      label: 'Products',
      roles: ['owner'],
      verticalLabel: true,
      route: { name: 'products', icon: 'box' },
    },
    { key: 'categories', label: 'Categories', roles: ['owner'], rail: true, route: { name: 'categories', icon: 'tag' } },
    { key: 'units', label: 'Units', roles: ['owner'], rail: true, route: { name: 'units', icon: 'ruler' } },
    { key: 'inventory', label: 'Inventory', roles: ['owner'], rail: true, route: { name: 'inventory', icon: 'stack' } },
  ],
  search: [
    {
      kind: 'product',
      module: 'products',
      icon: '📦',
      sql: `SELECT 'product' AS kind, uuid, name AS title, sku AS sub, price AS amount,
     COALESCE(name, '') || ' ' || COALESCE(sku, '') || ' ' || COALESCE(category, '') AS hay
   FROM products WHERE deleted = 0`,
    },
  ],
  tables: [
    syncedTable(
      'products',
      ['type', 'name', 'sku', 'description', 'price', 'cost_price', 'unit', 'category', 'stock', 'stock_alert', 'is_active'],
      ['pos_quick', 'pos_quick_order', 'box_pieces', 'box_price', 'box_barcode', 'is_non_depleting'],
    ),
    syncedTable('stock_adjustments', ['product_uuid', 'delta', 'reason']),
  ],
  entities: [
    { name: 'product', table: 'products', pulled: true, resendable: true },
    {
      name: 'stock_adjustment',
      table: 'stock_adjustments',
      pulled: false,
      resendable: false,
      // The adjustment moved the product's stock here; the server's product says what stands.
      onRefused: (context) => context.refetch(),
    },
  ],
};
