import type { SyncTable } from '../../storage';

export const ENTITY_TABLES = {
  client: 'clients',
  product: 'products',
  invoice: 'invoices',
  quotation: 'quotations',
  pos_sale: 'invoices',
  client_payment: 'settlements',
  pos_shift: 'shifts',
  stock_adjustment: 'stock_adjustments',
  note: 'notes',
  pos_event: 'pos_events',
  payable: 'payables',
  payable_payment: 'payable_payments',
  expense_category: 'expense_categories',
  expense: 'expenses',
  treasury_movement: 'treasury_movements',
} as const satisfies Record<string, SyncTable>;

export type Entity = keyof typeof ENTITY_TABLES;

/** What the pull asks for, in this order; push-only entities are never requested. */
export const PULLED_ENTITIES: readonly Entity[] = [
  'client', 'product', 'invoice', 'quotation', 'client_payment', 'pos_shift', 'note', 'payable',
  'expense_category', 'expense', 'treasury_movement',
];

export const DOCUMENT_ENTITIES: readonly Entity[] = ['invoice', 'quotation', 'pos_sale'];

export function isEntity(name: unknown): name is Entity {
  return typeof name === 'string' && Object.prototype.hasOwnProperty.call(ENTITY_TABLES, name);
}

export function tableOf(entity: string): SyncTable {
  if (!isEntity(entity)) throw new Error(`unknown entity: ${entity}`);
  return ENTITY_TABLES[entity];
}
