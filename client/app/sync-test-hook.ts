import { SyncEngine } from '../sync';
import { entities } from './features';
import { sendThroughApi, syncEngine } from './wiring';

export interface SyncTestHook {
  engine: () => SyncEngine | null;
  /** For benchmarks that build an engine over another database or a timed transport. */
  SyncEngine: typeof SyncEngine;
  sendThroughApi: typeof sendThroughApi;
  entities: typeof entities;
}

declare global {
  interface Window {
    __tovikSync?: SyncTestHook;
  }
}

/** Serve mode only: end-to-end tests and benchmarks drive the process's engine. */
export function exposeSyncTestHook(): void {
  window.__tovikSync = { engine: syncEngine, SyncEngine, sendThroughApi, entities };
}
