import { openLocalDb } from '../../storage';
import { deviceId } from '../device';
import { appState } from '../session/app-state';
import type { SessionHooks, SyncEngineCallbacks } from '../session/hooks';
import { SyncEngine } from './engine';
import { dataEpochCheck, storedDataEpoch } from './pull';
import { sendThroughApi } from './transport';

let engine: SyncEngine | null = null;

/** The process's sync engine, once the session has created it. */
export function syncEngine(): SyncEngine | null {
  return engine;
}

function tenant(): Record<string, unknown> {
  const value = appState.profile?.tenant;
  return value && typeof value === 'object' ? (value as Record<string, unknown>) : {};
}

/** How the session creates the engine and checks the platform's data epoch. */
export const engineHooks: Pick<SessionHooks, 'createSyncEngine' | 'dataEpochCheck' | 'dataEpoch'> = {
  createSyncEngine(callbacks: SyncEngineCallbacks) {
    engine ??= new SyncEngine({ ...callbacks, db: openLocalDb, deviceId, send: sendThroughApi });
    return engine;
  },
  async dataEpochCheck() {
    return dataEpochCheck(await openLocalDb(), tenant().id, tenant().data_epoch);
  },
  async dataEpoch() {
    return storedDataEpoch(await openLocalDb(), tenant().id);
  },
};
