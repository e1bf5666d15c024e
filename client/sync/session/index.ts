export { appState, hasSyncAbility, signOutNotice, type FocusRequest, type SyncStatus } from './app-state';
export { bootClient, type BootSteps } from './boot';
export { listSessions, revokeOtherSessions, revokeSession, type DeviceSession } from './devices';
export {
  registerSessionHooks,
  sessionHooks,
  type SessionHooks,
  type SyncEngineCallbacks,
  type SyncEngineControl,
} from './hooks';
export {
  checkSession,
  CompanySwitchError,
  forceSignOut,
  kickSync,
  SIGNED_OUT_MESSAGE,
  signOut,
  startSession,
  switchCompany,
} from './session';
export { COMPANY_TABLES } from './wipe';
