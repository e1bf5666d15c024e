import { readSecret } from '../../bridge';
import { loadLanguage } from '../../shell';
import { META, readMeta } from '../../storage';
import { checkServerStatus, restoreRequiredUpdate, type Profile } from '../api';
import { startSession } from './session';
import { session } from './session-state';

export interface BootSteps {
  /** The theme and the access lock, applied before any screen shows. */
  applyTheme?(): void;
  initAccessLock?(): Promise<void>;
  /** The desktop update check and its triggers. */
  startUpdateChecks?(): void;
}

/** Runs once when the client loads, after the app has opened the database and filled the session hooks. */
export async function bootClient(steps: BootSteps = {}): Promise<void> {
  await loadLanguage();
  steps.applyTheme?.();
  await steps.initAccessLock?.();
  await restoreRequiredUpdate();
  session.profile = await storedProfile();
  session.ready = true;
  void checkServerStatus();
  document.addEventListener('visibilitychange', () => {
    if (document.visibilityState === 'visible') void checkServerStatus();
  });
  await startSession();
  steps.startUpdateChecks?.();
}

/** A session survives a restart only with both its token and its stored profile. */
async function storedProfile(): Promise<Profile | null> {
  const token = await readSecret('token');
  if (!token) return null;
  const stored = await readMeta(META.profile);
  if (!stored) return null;
  try {
    const profile: unknown = JSON.parse(stored);
    return profile && typeof profile === 'object' ? (profile as Profile) : null;
  } catch {
    return null;
  }
}
