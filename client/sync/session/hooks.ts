import type { Profile } from '../account';
import type { SyncStatus } from './app-state';

/** The sync engine as the session drives it. */
export interface SyncEngineControl {
  start(): void;
  halt(): void;
  resume(): void;
  /** A sync run soon (now when `delayMs` is 0). */
  kick(delayMs?: number): void;
}

/** What the session gives the sync engine when it creates it. */
export interface SyncEngineCallbacks {
  token(): Promise<string | null>;
  onAuthLost(message?: string, code?: string): void;
  dataEpoch(): Promise<string | number | null>;
  onStatus(status: SyncStatus): void;
  onChanged(): void;
  onPushed(count: number): void;
}

/**
 * The places where other parts of the client plug into the session. Each is
 * optional until the part that owns it exists; the session calls what is there.
 */
export interface SessionHooks {
  /** The module a profile starts in. */
  homeModule?(profile: Profile): string;
  createSyncEngine?(callbacks: SyncEngineCallbacks): SyncEngineControl;
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
