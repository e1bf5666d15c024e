// System notifications through the page's Notification API, which the host
// backs with the operating system's own.

let permission: Promise<boolean> | null = null;

async function askPermission(): Promise<boolean> {
  try {
    if (typeof Notification === 'undefined') return false;
    if (Notification.permission === 'granted') return true;
    return (await Notification.requestPermission()) === 'granted';
  } catch {
    return false;
  }
}

/** Asks once per run; later callers share the pending or finished answer. */
export function ensureNotificationPermission(): Promise<boolean> {
  permission ??= askPermission();
  return permission;
}

export async function showSystemNotification(title: string, body: string): Promise<void> {
  try {
    if (await ensureNotificationPermission()) new Notification(title, { body });
  } catch {
    // Best effort: the toast and the list entry already tell the user.
  }
}
