import { addNotification, clearNotifications, raiseNotification } from './notifications';
import { showToast } from './toasts';

export interface ShellTestHook {
  showToast: typeof showToast;
  raiseNotification: typeof raiseNotification;
  addNotification: typeof addNotification;
  clearNotifications: typeof clearNotifications;
}

declare global {
  interface Window {
    __tovikShell?: ShellTestHook;
  }
}

/** Serve mode only, for the end-to-end tests, like the bridge's own hook. */
export function exposeShellTestHook(): void {
  window.__tovikShell = { showToast, raiseNotification, addNotification, clearNotifications };
}
