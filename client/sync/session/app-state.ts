import { reactive } from 'vue';
import type { Profile } from '../account';

export interface SyncStatus {
  pending: number;
  attention: number;
  syncing: boolean;
  online: boolean;
  lastSyncAt?: string;
  error?: string;
}

/** A request to open a screen on one record. */
export interface FocusRequest {
  kind: string;
  uuid: string;
  at: number;
}

/** What the whole client shares: who is signed in, where they are, how sync stands. */
export const appState = reactive({
  ready: false,
  profile: null as Profile | null,
  tab: 'invoices',
  status: { pending: 0, attention: 0, syncing: false, online: navigator.onLine } as SyncStatus,
  revision: 0,
  focus: null as FocusRequest | null,
});

/** Why the user was signed out by the server, for the sign-in screen. */
export const signOutNotice = reactive({ revoked: false, message: '', code: '' });

/** The offline client (local data and sync) is for profiles with the sync ability. */
export function hasSyncAbility(profile: Profile | null): boolean {
  const abilities = profile?.abilities;
  return Array.isArray(abilities) && (abilities.includes('sync') || abilities.includes('*'));
}
