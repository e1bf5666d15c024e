import type { StorageBackend } from './backend';
import { createDesktopBackend } from './desktop-backend';
import { openDatabase, openLocalDb } from './open';

export interface StorageTestHook {
  openLocalDb: typeof openLocalDb;
  openDatabase: typeof openDatabase;
  createDesktopBackend: typeof createDesktopBackend;
  /** sql.js as the browser-only build has it, image saved to local storage. */
  createBrowserBackend: () => Promise<StorageBackend>;
  /** sql.js in memory, as the unit tests have it. */
  createMemoryBackend: () => Promise<StorageBackend>;
}

declare global {
  interface Window {
    __tovikStorage?: StorageTestHook;
  }
}

/** Serve mode only: end-to-end tests and benchmarks drive the real facade. */
export function exposeStorageTestHook(): void {
  window.__tovikStorage = {
    openLocalDb,
    openDatabase,
    createDesktopBackend,
    createBrowserBackend: () => import('./browser-backend').then((m) => m.createBrowserBackend()),
    // sql.js loads its file once per page: through the browser backend's address.
    createMemoryBackend: async () => {
      const [{ wasmUrl }, { createSqlJsBackend }] = await Promise.all([
        import('./browser-backend'),
        import('./sqljs-backend'),
      ]);
      return createSqlJsBackend({ wasmUrl });
    },
  };
}
