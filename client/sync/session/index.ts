// The session: boot, sign-in state, both sign-outs, the company switch,
// the device list, and the hooks through which the app plugs the sync
// engine and the features into it.
export { bootClient, type BootSteps } from './boot';
export { listSessions, revokeOtherSessions, revokeSession, type DeviceSession } from './devices';
export { registerSessionHooks, sessionHooks, type SessionHooks } from './hooks';
export { serverNotifications } from './notification-list';
export {
  beginSession,
  checkSession,
  CompanySwitchError,
  forceSignOut,
  kickSync,
  sessionCallbacks,
  SIGNED_OUT_MESSAGE,
  signOut,
  startSession,
  switchCompany,
} from './session';
export { hasSyncAbility, session, signOutNotice, syncState } from './session-state';
