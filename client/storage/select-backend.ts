import { hasHostBridge } from '../bridge';
import type { StorageBackend } from './backend';
import { createBrowserBackend } from './browser-backend';
import { createDesktopBackend } from './desktop-backend';

// The host's encrypted database whenever the page has the host's bridge;
// otherwise the browser-only development build. This product has no Android
// build, so there is no third case.
export function createPlatformBackend(): Promise<StorageBackend> {
  return hasHostBridge() ? createDesktopBackend() : createBrowserBackend();
}
