import type { SyncPort } from '../../sync';

let provided: SyncPort | null = null;

/** The app hands the till the sync engine it records through, once at start-up. */
export function provideTillSyncPort(port: SyncPort): void {
  provided = port;
}

/** The till's way to record changes; null until the app has provided it. */
export function tillSyncPort(): SyncPort | null {
  return provided;
}
