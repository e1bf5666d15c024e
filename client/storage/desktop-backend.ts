import { invoke } from '../bridge';
import type { StorageBackend } from './backend';

/** The host's encrypted database: opened once here, then one command per statement or statement list. */
export async function createDesktopBackend(): Promise<StorageBackend> {
  await invoke('db_open');
  return {
    async run(sql, params) {
      await invoke('db_execute', { sql, params });
    },
    async runAll(statements) {
      await invoke('db_batch', { statements });
    },
    query: (sql, params) => invoke('db_select', { sql, params }),
  };
}
