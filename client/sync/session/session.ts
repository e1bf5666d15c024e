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
import {
  hasSyncAbility,
  nextSessionGeneration,
  session,
  sessionGeneration,
  signOutNotice,
  syncState,
} from './session-state';
import { clearCompanyData, localWipe } from './wipe';

export const SIGNED_OUT_MESSAGE = 'You were signed out. Sign in again to continue.';
export const SESSION_CHECK_MS = 60_000;
/** A profile refresh gives up after this; the stored profile serves meanwhile. */
export const PROFILE_REFRESH_MS = 15_000;

let engineStarted = false;
let checkTimer: ReturnType<typeof setInterval> | null = null;
let checkListenersAdded = false;
let permissionsListenerAdded = false;
let checking: { generation: number; done: Promise<void> } | null = null;
// A sign-out under way: nothing may start another, and a 401 during it changes nothing.
let endingSession = false;

// The server's calls carry the signed-in session's token and company.
provideApiSession({ token: () => readSecret('token'), companyId: currentCompanyId });

const engine = () => sessionHooks.syncEngine;

/** What the session gives the sync engine: its token, and where its news goes. */
export function sessionCallbacks(): SyncEngineCallbacks {
  return {
    token: () => readSecret('token'),
    account: () => {
      const profile = session.profile;
      return profile ? { companyId: String(profile.company_id ?? ''), userId: String(profile.id ?? '') } : null;
    },
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

/**
 * A sign-in: the stored company is settled before the profile shows the
 * session's screens, so none of them calls the server for a company the
 * user is not a member of.
 */
export async function beginSession(profile: Profile): Promise<void> {
  await settleCompany(profile);
  session.profile = profile;
  await startSession();
}

/** Everything a signed-in session needs, once a profile is set. */
export async function startSession(): Promise<void> {
  const profile = session.profile;
  if (!profile) return;
  const generation = nextSessionGeneration();
  if (sessionHooks.homeModule) goTo(sessionHooks.homeModule(profile));
  await settleCompany(profile);
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
  // The working shell shows with the stored profile; the server's copy replaces it when it comes.
  void refreshProfile(generation);
  if (!permissionsListenerAdded) {
    permissionsListenerAdded = true;
    window.addEventListener('permissions-changed', () => void onPermissionsChanged());
  }
}

const stringField = (record: Profile, key: string): string | null =>
  typeof record[key] === 'string' ? (record[key] as string) : null;

/**
 * A company kept from an earlier sign-in that this user is not a member of
 * would be refused on every call: the user's own company replaces it.
 */
async function settleCompany(profile: Profile): Promise<void> {
  const companies = Array.isArray(profile.companies) ? profile.companies : [];
  const ids = companies.map((c) => Number((c as { id?: unknown } | null)?.id)).filter((id) => id > 0);
  clearCompanyCache(); // what is stored, not what an earlier session had in memory
  const stored = await currentCompanyId();
  if (ids.length === 0 || stored === null || ids.includes(stored)) return;
  const own = Number(profile.company_id);
  if (ids.includes(own)) {
    await writeMeta(META.companyId, String(own));
    setCachedCompanyId(own);
  } else {
    await deleteMeta(META.companyId);
    setCachedCompanyId(null);
  }
}

/** The server's copy of the profile, when it still belongs to the session that asked. */
async function refreshProfile(generation: number): Promise<Profile | null> {
  const current = () => sessionGeneration() === generation && session.profile !== null;
  const user = await fetchProfile({ wanted: current, timeoutMs: PROFILE_REFRESH_MS });
  if (!user || !current()) return null;
  session.profile = user;
  setPermissionsHash(stringField(user, 'permissions_hash'));
  return user;
}

async function onPermissionsChanged(): Promise<void> {
  const before = JSON.stringify(session.profile?.features ?? {});
  const user = await refreshProfile(sessionGeneration());
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

/**
 * Confirms the session with the server; a 401 signs the user out. Single
 * flight per session: the answer to a check made for an earlier session is
 * dropped, so it can never end the one that followed.
 */
export function checkSession(): Promise<void> {
  if (!session.profile || endingSession || !navigator.onLine) return Promise.resolve();
  const generation = sessionGeneration();
  if (checking?.generation !== generation) checking = { generation, done: runCheck(generation) };
  return checking.done;
}

async function runCheck(generation: number): Promise<void> {
  try {
    const reply = await apiFetch('/session/status', { method: 'POST', body: '{}' });
    if (reply.status !== 401 || sessionGeneration() !== generation) return;
    const body = await jsonBody(reply);
    const code = typeof body.error_code === 'string' ? body.error_code : '';
    const message = code && typeof body.message === 'string' ? body.message : translate(SIGNED_OUT_MESSAGE);
    await forceSignOut(message, code, generation);
  } catch {
    // Offline or a server hiccup: the session stands until the server says otherwise.
  } finally {
    if (checking?.generation === generation) checking = null;
  }
}

/**
 * The server ended the session: wipe the device's business data, keep unsent
 * work, say why. Only the session it was said for ends; a sign-out already
 * under way finishes on its own.
 */
export async function forceSignOut(message: string, code: string, generation = sessionGeneration()): Promise<void> {
  if (!session.profile || endingSession || generation !== sessionGeneration()) return;
  endingSession = true;
  nextSessionGeneration();
  try {
    await engine()?.halt();
    stopSessionChecks();
    sessionHooks.stopRealtime?.();
    await localWipe(() => writeSecret('token', null));
    clearNotifications();
    Object.assign(signOutNotice, { revoked: true, message, code });
    session.profile = null;
    bumpDataRevision();
  } finally {
    endingSession = false;
  }
}

const KEPT_STORAGE = (key: string) =>
  key === 'quillarex.devdb' || key.startsWith('tovik_backup_') || key === 'tovik.sound.muted';

/** The user signs out on this device. */
export async function signOut(): Promise<void> {
  if (endingSession) return;
  endingSession = true;
  nextSessionGeneration();
  try {
    // A run under way ends before the wipe, so it cannot write into the emptied tables.
    await engine()?.halt();
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
  } finally {
    endingSession = false;
  }
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
  // A run under way would go on pulling the old company's pages into the
  // emptied tables: it ends first. After a switch the engine stays halted
  // until the reload, which a run must not straddle; a refused switch lets
  // it go on.
  const sync = engine();
  await sync?.halt();
  try {
    await switchHalted(companyId, loadProfile);
  } catch (failure) {
    if (hasSyncAbility(session.profile)) sync?.resume();
    throw failure;
  }
}

async function switchHalted(companyId: number, loadProfile: () => Promise<Profile | null>): Promise<void> {
  const db = await openLocalDb();
  // Only this account's work (and work not yet given to one) is lost to a
  // switch; other accounts' waits for their own sign-in and must not block it.
  const [pending] = await db.select<{ n: number }>(
    'SELECT COUNT(*) AS n FROM outbox WHERE company_id IS NULL OR (company_id = ? AND user_id = ?)',
    [String(session.profile?.company_id ?? ''), String(session.profile?.id ?? '')],
  );
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
  await clearCompanyData('company');
}
