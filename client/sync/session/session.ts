import { invoke, readSecret, writeSecret } from '../../bridge';
import { showToast, translate } from '../../shell';
import { openLocalDb } from '../../storage';
import { fetchProfile, logout, type Profile } from '../account';
import { apiFetch, jsonBody } from '../api-fetch';
import { clearCompanyCache, currentCompanyId, setCachedCompanyId } from '../company';
import { deleteMeta, readMeta, writeMeta } from '../meta';
import { setPermissionsHash } from '../permissions-hash';
import { appState, hasSyncAbility, signOutNotice } from './app-state';
import { sessionHooks, type SyncEngineControl } from './hooks';
import { clearCompanyData, localWipe } from './wipe';
import { clearNotifications } from '../../shell';

export const SIGNED_OUT_MESSAGE = 'You were signed out. Sign in again to continue.';
export const SESSION_CHECK_MS = 60_000;

let engine: SyncEngineControl | null = null;
let engineStarted = false;
let checkTimer: ReturnType<typeof setInterval> | null = null;
let checkListenersAdded = false;
let permissionsListenerAdded = false;
let checking: Promise<void> | null = null;

/** Creates the sync engine, unstarted, with the session's callbacks (boot). */
export function createSyncEngine(): void {
  if (engine || !sessionHooks.createSyncEngine) return;
  engine = sessionHooks.createSyncEngine({
    token: () => readSecret('token'),
    onAuthLost: (message, code) => void forceSignOut(message || translate(SIGNED_OUT_MESSAGE), code ?? ''),
    dataEpoch: () => sessionHooks.dataEpoch?.() ?? Promise.resolve(null),
    onStatus: (status) => {
      if (appState.status.syncing && !status.syncing) sessionHooks.nudgeNotifications?.();
      appState.status = status;
    },
    onChanged: () => {
      appState.revision++;
    },
    onPushed: (count) => showToast('Saved to the server', `${count} ${translate(count === 1 ? 'change' : 'changes')}`),
  });
}

/** Asks the sync engine for a run now (the sync badge, the palette). */
export function kickSync(): void {
  engine?.kick(0);
}

/** Everything a signed-in session needs, once a profile is set. */
export async function startSession(): Promise<void> {
  const profile = appState.profile;
  if (!profile) return;
  if (sessionHooks.homeModule) appState.tab = sessionHooks.homeModule(profile);
  if (!hasSyncAbility(profile)) return;

  void (async () => {
    try {
      if (await sessionHooks.dataEpochCheck?.())
        showToast('Your business data was reset by the platform.', 'This device downloads it again.', 'warning');
    } catch {
      // The check runs again at the next session start.
    }
    startSessionChecks();
    engine?.resume();
    if (engine && !engineStarted) {
      engineStarted = true;
      engine.start();
    }
  })();
  void sessionHooks.dailyBackup?.().catch(() => {});
  sessionHooks.startRealtime?.();

  setPermissionsHash(stringField(profile, 'permissions_hash'));
  await refreshProfile();
  if (!permissionsListenerAdded) {
    permissionsListenerAdded = true;
    window.addEventListener('permissions-changed', () => void onPermissionsChanged());
  }
}

const stringField = (record: Profile, key: string): string | null =>
  typeof record[key] === 'string' ? (record[key] as string) : null;

async function refreshProfile(): Promise<Profile | null> {
  const user = await fetchProfile();
  if (!user || !appState.profile) return null;
  appState.profile = user;
  setPermissionsHash(stringField(user, 'permissions_hash'));
  return user;
}

async function onPermissionsChanged(): Promise<void> {
  const before = JSON.stringify(appState.profile?.features ?? {});
  const user = await refreshProfile();
  if (!user) return;
  appState.revision++;
  if (JSON.stringify(user.features ?? {}) !== before) showToast('Your permissions were updated.', '', 'info');
}

function startSessionChecks(): void {
  if (!checkListenersAdded) {
    checkListenersAdded = true;
    window.addEventListener('online', () => void checkSession());
    window.addEventListener('access-check', () => void checkSession());
    document.addEventListener('visibilitychange', () => {
      if (document.visibilityState === 'visible') void checkSession();
    });
  }
  stopSessionChecks();
  checkTimer = setInterval(() => void checkSession(), SESSION_CHECK_MS);
  void checkSession();
}

function stopSessionChecks(): void {
  if (checkTimer !== null) clearInterval(checkTimer);
  checkTimer = null;
}

/** Confirms the session with the server; a 401 signs the user out. Single flight. */
export function checkSession(): Promise<void> {
  if (!appState.profile || !navigator.onLine) return Promise.resolve();
  checking ??= (async () => {
    try {
      const reply = await apiFetch('/session/status', { method: 'POST', body: '{}' });
      if (reply.status !== 401) return;
      const body = await jsonBody(reply);
      const code = typeof body.error_code === 'string' ? body.error_code : '';
      const message = code && typeof body.message === 'string' ? body.message : translate(SIGNED_OUT_MESSAGE);
      await forceSignOut(message, code);
    } catch {
      // Offline or a server hiccup: the session stands until the server says otherwise.
    } finally {
      checking = null;
    }
  })();
  return checking;
}

/** The server ended the session: wipe the device's business data, keep unsent work, say why. */
export async function forceSignOut(message: string, code: string): Promise<void> {
  engine?.halt();
  stopSessionChecks();
  sessionHooks.stopRealtime?.();
  await localWipe(() => writeSecret('token', null));
  Object.assign(signOutNotice, { revoked: true, message, code });
  appState.profile = null;
  appState.revision++;
}

const KEPT_STORAGE = (key: string) =>
  key === 'quillarex.devdb' || key.startsWith('tovik_backup_') || key === 'tovik.sound.muted';

/** The user signs out on this device. */
export async function signOut(): Promise<void> {
  engine?.halt();
  stopSessionChecks();
  sessionHooks.stopRealtime?.();
  await invoke('portal_close', {}).catch(() => {});
  await logout();
  await localWipe(() => writeSecret('token', null));
  await deleteMeta('company_id');
  clearCompanyCache();
  sessionStorage.clear();
  for (const key of Object.keys(localStorage)) if (!KEPT_STORAGE(key)) localStorage.removeItem(key);
  clearNotifications();
  Object.assign(signOutNotice, { revoked: false, message: '', code: '' });
  appState.profile = null;
  appState.revision++;
}

export class CompanySwitchError extends Error {
  constructor(message: string) {
    super(message);
    this.name = 'CompanySwitchError';
  }
}

/**
 * Opens another company of the user's. Refused offline and while local
 * changes wait to be sent; the caller reloads the client afterwards.
 */
export async function switchCompany(
  companyId: number,
  loadProfile: () => Promise<Profile | null> = fetchProfile,
): Promise<void> {
  if (!navigator.onLine) throw new CompanySwitchError('Connect to the internet to switch company.');
  const db = await openLocalDb();
  const [pending] = await db.select<{ n: number }>('SELECT COUNT(*) AS n FROM outbox');
  if ((pending?.n ?? 0) > 0)
    throw new CompanySwitchError(
      'Some changes made here are still waiting to be sent. Wait until everything is synced, then switch.',
    );

  const previous = await currentCompanyId();
  const previousText = await readMeta('company_id');
  await writeMeta('company_id', String(companyId));
  setCachedCompanyId(companyId);
  if (!(await loadProfile())) {
    if (previousText === null) await deleteMeta('company_id');
    else await writeMeta('company_id', previousText);
    setCachedCompanyId(previous);
    throw new CompanySwitchError(
      'That company could not be opened: its plan may not include the app, or the connection dropped. Try again.',
    );
  }
  await clearCompanyData(['pull_cursor', 'last_sync_at', 'pos_terminal_id', 'pos_held', 'notif_last_id']);
}
