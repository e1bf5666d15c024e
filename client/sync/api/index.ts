// The server API client: apiFetch (the only way to call the platform
// server), the account calls, the company and device identity, maintenance
// and required updates.
export {
  AccountSuspendedError,
  fetchProfile,
  logout,
  requestResetCode,
  resetPassword,
  ServerUnreachableError,
  signIn,
  verifyOtp,
  type OtpChallenge,
  type Profile,
  type ProfileFetch,
} from './account';
export {
  apiFetch,
  jsonBody,
  MaintenanceError,
  provideApiSession,
  UpgradeRequiredError,
  type ApiFetchOptions,
  type ApiSession,
} from './api-fetch';
export { clearCompanyCache, currentCompanyId, setCachedCompanyId } from './company';
export { APP_VERSION, DEFAULT_SERVER_URL, LEGACY_SERVER_HOST, PLATFORM_WORD } from './deployment';
export { deviceId, deviceName } from './device';
export { checkServerStatus, enterMaintenance, leaveMaintenance, maintenanceState } from './maintenance';
export { pendingOperations } from './outbox-count';
export { knownPermissionsHash, setPermissionsHash } from './permissions-hash';
export { apiBase, serverUrl, setServerUrl } from './server-address';
export { restoreRequiredUpdate, setRequiredUpdate, updateState, type Release, type RequiredUpdate } from './update-state';
export { isOlderVersion } from './version';
