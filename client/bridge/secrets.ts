import { hasHostBridge, invoke } from './invoke';

// Secrets live in the system's credential store behind the host. Without a
// host (the browser-only development build) they fall back to the tab's
// session storage. There is no Android build of this product, so those two
// are the only cases.

/** The secret's value, or null when it is not stored. */
export async function readSecret(name: string): Promise<string | null> {
  if (hasHostBridge()) return invoke('secret_get', { key: name });
  return sessionStorage.getItem(name);
}

/** Stores the value; null deletes the secret. */
export async function writeSecret(name: string, value: string | null): Promise<void> {
  if (hasHostBridge()) {
    if (value === null) await invoke('secret_delete', { key: name });
    else await invoke('secret_set', { key: name, value });
    return;
  }
  if (value === null) sessionStorage.removeItem(name);
  else sessionStorage.setItem(name, value);
}
