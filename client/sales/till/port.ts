import { sessionHooks, type SyncPort } from '../../sync';

/**
 * The sync engine as the till writes through it. The app registers its one
 * engine with the session; the till takes the record-saving face of it.
 */
export function tillSyncPort(): SyncPort | null {
  const engine = sessionHooks.syncEngine as Partial<SyncPort> | undefined;
  return engine && typeof engine.save === 'function' && typeof engine.nextOfflineReference === 'function'
    ? (engine as SyncPort)
    : null;
}
