import { invoke, onHostEvent } from './invoke';
import { readSecret, writeSecret } from './secrets';

export interface TestHook {
  invoke: typeof invoke;
  onHostEvent: typeof onHostEvent;
  readSecret: typeof readSecret;
  writeSecret: typeof writeSecret;
}

declare global {
  interface Window {
    __tovik?: TestHook;
  }
}

/**
 * Serve mode exists for development and the end-to-end tests; this gives the
 * tests the real bridge module to drive. It opens nothing new: whoever holds
 * the token can already call every command over HTTP.
 */
export function exposeTestHook(): void {
  window.__tovik = { invoke, onHostEvent, readSecret, writeSecret };
}
