import { invoke, readSecret, writeSecret } from '../../bridge';
import { bumpDataRevision, clearNotifications, goTo, showToast, translate } from '../../shell';
import { deleteMeta, META, openLocalDb, readMeta, writeMeta } from '../../storage';
import {
  apiFetch,
  clearCompanyCache,
  currentCompanyId,
  fetchProfile,
  jsonBody,
  logout,
  provideApiSession,
  setCachedCompanyId,
  setPermissionsHash,
  type Profile,
} from '../api';
import type { SyncEngineCallbacks } from '../engine';
import { sessionHooks } from './hooks';
import { hasSyncAbility, session, signOutNotice, syncState } from './session-state';
import { clearCompanyData, localWipe } from './wipe';

export const SIGNED_OUT_MESSAGE = 'You were signed out. Sign in again to continue.';
export const SESSION_CHECK_MS = 60_000;

let engineStarted = false;
let checkTimer: ReturnType<typeof setInterval> | null = null;
let checkListenersAdded = false;
let permissionsListenerAdded = false;
let checking: Promise<void> | null = null;

// The server's calls carry the signed-in session's token and company.
provideApiSession({ token: () => readSecret('token'), companyId: currentCompanyId });

const engine = () => sessionHooks.syncEngine;

/** What the session gives the sync engine: its token, and where its news goes. */
export function sessionCallbacks(): SyncEngineCallbacks {
  return {
    token: () => readSecret('token'),
    onAuthLost: (message, code) => void forceSignOut(message || translate(SIGNED_OUT_MESSAGE), code ?? ''),
    dataEpoch: () => sessionHooks.dataEpoch?.() ?? Promise.resolve(null),
    onStatus: (status) => {
      if (syncState.status.syncing && !status.syncing) sessionHooks.nudgeNotifications?.();
      syncState.status = status;
    },
    onChanged: bumpDataRevision,
    onPushed: (count) => showToast('Saved to the server', `${count} ${translate(count === 1 ? 'change' : 'changes')}`),
  };
}

/** Asks the sync engine for a run now (the sync badge, the palette). */
export function kickSync(): void {
  engine()?.kick(0);
}

/** Everything a signed-in session needs, once a profile is set. */
export async function startSession(): Promise<void> {
  const profile = session.profile;
  if (!profile) return;
  if (sessionHooks.homeModule) goTo(sessionHooks.homeModule(profile));
  if (!hasSyncAbility(profile)) return;

  void (async () => {
    try {
      if (await sessionHooks.dataEpochCheck?.())
        showToast('Your business data was reset by the platform.', 'This device downloads it again.', 'warning');
    } catch {
      // The check runs again at the next session start.
    }
    startSessionChecks();
    const sync = engine();
    sync?.resume();
    if (sync && !engineStarted) {
      engineStarted = true;
      sync.start();
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
  if (!user || !session.profile) return null;
  session.profile = user;
  setPermissionsHash(stringField(user, 'permissions_hash'));
  return user;
}

async function onPermissionsChanged(): Promise<void> {
  const before = JSON.stringify(session.profile?.features ?? {});
  const user = await refreshProfile();
  if (!user) return;
  bumpDataRevision();
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
  if (!session.profile || !navigator.onLine) return Promise.resolve();
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
  engine()?.halt();
  stopSessionChecks();
  sessionHooks.stopRealtime?.();
  await localWipe(() => writeSecret('token', null));
  Object.assign(signOutNotice, { revoked: true, message, code });
  session.profile = null;
  bumpDataRevision();
}

const KEPT_STORAGE = (key: string) =>
  key === 'quillarex.devdb' || key.startsWith('tovik_backup_') || key === 'tovik.sound.muted';

/** The user signs out on this device. */
export async function signOut(): Promise<void> {
  engine()?.halt();
  stopSessionChecks();
  sessionHooks.stopRealtime?.();
  await invoke('portal_close', {}).catch(() => {});
  await logout();
  await localWipe(() => writeSecret('token', null));
  await deleteMeta(META.companyId);
  clearCompanyCache();
  sessionStorage.clear();
  for (const key of Object.keys(localStorage)) if (!KEPT_STORAGE(key)) localStorage.removeItem(key);
  clearNotifications();
  Object.assign(signOutNotice, { revoked: false, message: '', code: '' });
  session.profile = null;
  bumpDataRevision();
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
  const previousText = await readMeta(META.companyId);
  await writeMeta(META.companyId, String(companyId));
  setCachedCompanyId(companyId);
  if (!(await loadProfile())) {
    if (previousText === null) await deleteMeta(META.companyId);
    else await writeMeta(META.companyId, previousText);
    setCachedCompanyId(previous);
    throw new CompanySwitchError(
      'That company could not be opened: its plan may not include the app, or the connection dropped. Try again.',
    );
  }
  await clearCompanyData([
    META.pullCursor,
    META.lastSyncAt,
    META.posTerminalId,
    META.posHeld,
    META.notificationsLastId,
  ]);
}
