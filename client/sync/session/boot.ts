import { readSecret } from '../../bridge';
import { loadLanguage } from '../../shell/language';
import { openLocalDb } from '../../storage';
import type { Profile } from '../account';
import { checkServerStatus } from '../maintenance';
import { restoreRequiredUpdate } from '../update-state';
import { appState } from './app-state';
import { sessionHooks } from './hooks';
import { createSyncEngine, startSession } from './session';

export interface BootSteps {
  /** The theme and the access lock, applied before any screen shows. */
  applyTheme?(): void;
  initAccessLock?(): Promise<void>;
  /** The desktop update check and its triggers. */
  startUpdateChecks?(): void;
}

/** Runs once when the client loads. */
export async function bootClient(steps: BootSteps = {}): Promise<void> {
  const db = await openLocalDb();
  await loadLanguage(db);
  steps.applyTheme?.();
  await steps.initAccessLock?.();
  await restoreRequiredUpdate();
  createSyncEngine();
  appState.profile = await storedProfile();
  appState.ready = true;
  void checkServerStatus();
  await startSession();
  steps.startUpdateChecks?.();
}

/** A session survives a restart only with both its token and its stored profile. */
async function storedProfile(): Promise<Profile | null> {
  const token = await readSecret('token');
  if (!token) return null;
  const db = await openLocalDb();
  const [row] = await db.select<{ value: string | null }>("SELECT value FROM meta WHERE key = 'profile'");
  if (!row?.value) return null;
  try {
    const profile: unknown = JSON.parse(row.value);
    return profile && typeof profile === 'object' ? (profile as Profile) : null;
  } catch {
    return null;
  }
}
