import type { Profile } from '../api';
import type { SyncEngineControl } from '../engine';

/**
 * The places where the rest of the client plugs into the session; the app
 * fills them at start-up. Each is optional until the part that owns it
 * exists; the session calls what is there.
 */
export interface SessionHooks {
  /** The module a profile starts in. */
  homeModule?(profile: Profile): string;
  /** The sync engine, created by the app with the session's callbacks. */
  syncEngine?: SyncEngineControl;
  /** The tables a sign-out or a company switch empties. */
  companyTables?: readonly string[];
  /** Resolves true when the platform reset this business's data and the local copy was dropped. */
  dataEpochCheck?(): Promise<boolean>;
  dataEpoch?(): Promise<string | number | null>;
  startRealtime?(): void;
  stopRealtime?(): void;
  nudgeNotifications?(): void;
  dailyBackup?(): Promise<void>;
}

export const sessionHooks: SessionHooks = {};

export function registerSessionHooks(hooks: SessionHooks): void {
  Object.assign(sessionHooks, hooks);
}
