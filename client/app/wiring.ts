import { provideDocumentsSyncPort, provideTillSyncPort } from '../sales';
import { openLocalDb } from '../storage';
import {
  apiFetch,
  dataEpochCheck,
  deviceId,
  registerSessionHooks,
  session,
  sessionCallbacks,
  storedDataEpoch,
  SyncEngine,
  type Send,
} from '../sync';
import { catalogue, entities } from './features';
import { homeModule } from './navigation/modules';

// Where the pieces meet: the app creates the process's one sync engine with
// its ports (the database, the device, the transport, the features'
// entities, the session's callbacks), plugs it and the features into the
// session, and gives the features that record changes its saving face.

let engine: SyncEngine | null = null;

/** The process's sync engine, once `wireClient` has created it. */
export function syncEngine(): SyncEngine | null {
  return engine;
}

export const sendThroughApi: Send = (path, init) => apiFetch(path, init);

function tenant(): Record<string, unknown> {
  const value = session.profile?.tenant;
  return value && typeof value === 'object' ? (value as Record<string, unknown>) : {};
}

/** Runs once before boot. */
export function wireClient(): void {
  engine ??= new SyncEngine({ ...sessionCallbacks(), db: openLocalDb, deviceId, send: sendThroughApi, entities });
  provideTillSyncPort(engine);
  provideDocumentsSyncPort(engine);
  registerSessionHooks({
    homeModule,
    syncEngine: engine,
    companyTables: catalogue.companyTables,
    async dataEpochCheck() {
      const companyId = String(session.profile?.company_id ?? '');
      return dataEpochCheck(await openLocalDb(), catalogue.companyTables, tenant().id, tenant().data_epoch, companyId);
    },
    async dataEpoch() {
      return storedDataEpoch(await openLocalDb(), tenant().id);
    },
  });
}
