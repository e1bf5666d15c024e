// The notepad.
import { syncedTable } from '../../storage';
import type { FeatureManifest } from '../../sync';

export const notes: FeatureManifest = {
  name: 'notes',
  modules: [{ key: 'notes', label: 'Notepad', roles: ['owner'] }],
  paletteActions: [{ key: 'notes', title: 'Notepad', module: 'notes' }],
  search: [
    {
      kind: 'note',
      module: 'notes',
      icon: '📝',
      sql: `SELECT 'note' AS kind, uuid, CASE WHEN COALESCE(title, '') <> '' THEN title ELSE substr(COALESCE(body, ''), 1, 60) END AS title,
     substr(COALESCE(body, ''), 1, 90) AS sub, NULL AS amount, COALESCE(title, '') || ' ' || COALESCE(body, '') AS hay
   FROM notes WHERE deleted = 0`,
    },
  ],
  tables: [
    syncedTable('notes', ['title', 'body', 'created_at'], ['note_date', 'note_time', 'category', 'priority', 'is_pinned']),
  ],
  entities: [{ name: 'note', table: 'notes', pulled: true, resendable: false }],
};
