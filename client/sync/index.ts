export {
  AccountSuspendedError,
  fetchProfile,
  logout,
  requestResetCode,
  resetPassword,
  signIn,
  verifyOtp,
  type OtpChallenge,
  type Profile,
} from './account';
export { apiFetch, jsonBody, MaintenanceError, UpgradeRequiredError, type ApiFetchOptions } from './api-fetch';
export { clearCompanyCache, currentCompanyId, setCachedCompanyId } from './company';
export { APP_VERSION, DEFAULT_SERVER_URL, PLATFORM_WORD } from './deployment';
export { deviceId, deviceName } from './device';
export { checkServerStatus, enterMaintenance, leaveMaintenance, maintenanceState } from './maintenance';
export { knownPermissionsHash, setPermissionsHash } from './permissions-hash';
export { apiBase, serverUrl, setServerUrl } from './server-address';
export { restoreRequiredUpdate, setRequiredUpdate, updateState, type Release, type RequiredUpdate } from './update-state';
export { isOlderVersion } from './version';
