import type { SyncEngine } from './engine';
import { syncEngine } from './session-hooks';

declare global {
  interface Window {
    __tovikSync?: { engine: () => SyncEngine | null };
  }
}

/** Serve mode only: end-to-end tests and benchmarks drive the process's engine. */
export function exposeSyncTestHook(): void {
  window.__tovikSync = { engine: syncEngine };
}
