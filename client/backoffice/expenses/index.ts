// Daily expenses and their categories.
import { syncedTable } from '../../storage';
import type { FeatureManifest } from '../../sync';

export const expenses: FeatureManifest = {
  name: 'expenses',
  modules: [{ key: 'expenses', label: 'Expenses', roles: ['owner'] }],
  paletteActions: [
    { key: 'add-expense', title: 'Add expense', module: 'expenses', focus: { kind: 'expense', uuid: 'new' } },
    { key: 'expenses', title: 'Daily expenses', module: 'expenses' },
  ],
  search: [
    {
      kind: 'expense',
      module: 'expenses',
      icon: '💸',
      sql: `SELECT 'expense' AS kind, uuid, title, COALESCE(NULLIF(category_label, ''), category) || ' · ' || COALESCE(expense_date, '') AS sub,
     amount,
     COALESCE(title, '') || ' ' || COALESCE(category, '') || ' ' || COALESCE(category_label, '') || ' ' ||
     COALESCE(notes, '') AS hay
   FROM expenses WHERE deleted = 0`,
    },
  ],
  tables: [
    syncedTable(
      'expenses',
      [
        'title', 'category', 'category_label', 'amount', 'currency_code', 'exchange_rate', 'base_amount', 'expense_date',
        'payment_method', 'notes', 'created_at',
      ],
      ['funding_source', 'bank_account_id'],
    ),
    syncedTable('expense_categories', ['name', 'icon', 'color', 'sort_order']),
  ],
  entities: [
    { name: 'expense_category', table: 'expense_categories', pulled: true, resendable: false },
    { name: 'expense', table: 'expenses', pulled: true, resendable: false },
  ],
};
