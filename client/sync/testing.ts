// For the features' tests: the real sync engine over a test database, signed
// in, behind a server it never reaches unless a test syncs.
import type { LocalDb } from '../storage';
import { SyncEngine, type EntityRegistry } from './engine';

/** `online`: whether the engine believes it has a connection (its sends still fail). */
export function unreachableSyncEngine(db: LocalDb, entities: EntityRegistry, deviceId: string, online = false): SyncEngine {
  return new SyncEngine({
    db: () => Promise.resolve(db),
    entities,
    deviceId: () => Promise.resolve(deviceId),
    token: () => Promise.resolve('token'),
    account: () => ({ companyId: '1', userId: '1' }),
    dataEpoch: () => Promise.resolve(null),
    onAuthLost: () => {},
    onStatus: () => {},
    onChanged: () => {},
    onPushed: () => {},
    online: () => online,
    random: () => 0.5,
    send: () => Promise.reject(new Error('offline')),
  });
}
