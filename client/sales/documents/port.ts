import type { SyncPort } from '../../sync';

let provided: SyncPort | null = null;

/** The app hands the document screens the sync engine they record through, once at start-up. */
export function provideDocumentsSyncPort(port: SyncPort): void {
  provided = port;
}

/** The documents' way to record changes; null until the app has provided it. */
export function documentsSyncPort(): SyncPort | null {
  return provided;
}
