import { hasHostBridge } from '../bridge';
import type { StorageBackend } from './backend';
import { createDesktopBackend } from './desktop-backend';

// The host's encrypted database whenever the page has the host's bridge;
// otherwise the browser-only development build. This product has no Android
// build, so there is no third case.
export function createPlatformBackend(): Promise<StorageBackend> {
  if (hasHostBridge()) return createDesktopBackend();
  // Loaded only here, so the desktop page never fetches sql.js.
  return import('./browser-backend').then(({ createBrowserBackend }) => createBrowserBackend());
}
