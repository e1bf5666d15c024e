import type { LocalDb } from '../../storage';
import type { Fields } from './entities';

/** How sync stands, as the badge and the sync screen show it. */
export interface SyncStatus {
  pending: number;
  attention: number;
  syncing: boolean;
  online: boolean;
  lastSyncAt?: string;
  error?: string;
  /** Changes (queued or refused) that wait for another account to sign in. */
  otherAccounts: number;
}

/** Who queued a change: it is only ever sent by the same user into the same company. */
export interface Account {
  companyId: string;
  userId: string;
}

/** What the engine needs from the session that runs it. */
export interface SyncEngineCallbacks {
  token(): Promise<string | null>;
  /** The signed-in account, or null while nobody is. */
  account(): Account | null;
  onAuthLost(message?: string, code?: string): void;
  dataEpoch(): Promise<string | number | null>;
  onStatus(status: SyncStatus): void;
  onChanged(): void;
  onPushed(count: number): void;
}

/** The engine as the session drives it. */
export interface SyncEngineControl {
  start(): void;
  /** Stops scheduling; resolves once the run under way (if any) has ended. */
  halt(): Promise<void>;
  resume(): void;
  /** A sync run soon (now when `delayMs` is 0). */
  kick(delayMs?: number): void;
}

/** What a feature's engine may ask of sync: record changes that reach the server. */
export interface SyncPort {
  /**
   * Stores a record and queues its upsert in one transaction; `withinTransaction`
   * runs inside it, for rows that must change with the record, and writes
   * them through the `db` it is given. Resolves to its uuid.
   */
  save(entity: string, data: Fields, withinTransaction?: (uuid: string, db: LocalDb) => Promise<void>): Promise<string>;
  remove(entity: string, uuid: string): Promise<void>;
  /** A provisional reference for a document the server has not numbered yet. */
  nextOfflineReference(prefix?: string): Promise<string>;
}
