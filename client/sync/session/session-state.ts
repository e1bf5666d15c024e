import { reactive } from 'vue';
import type { Profile } from '../api';
import type { SyncStatus } from '../engine';

/** Who is signed in: the profile, once boot has read it. */
export const session = reactive({
  ready: false,
  profile: null as Profile | null,
});

/** How sync stands, for the badge and the sync screen. */
export const syncState = reactive({
  // Tools that load this module outside a page (end-to-end tests in Node) have no navigator.
  status: { pending: 0, attention: 0, syncing: false, online: globalThis.navigator?.onLine ?? true } as SyncStatus,
});

/** Why the user was signed out by the server, for the sign-in screen. */
export const signOutNotice = reactive({ revoked: false, message: '', code: '' });

/** The offline client (local data and sync) is for profiles with the sync ability. */
export function hasSyncAbility(profile: Profile | null): boolean {
  const abilities = profile?.abilities;
  return Array.isArray(abilities) && (abilities.includes('sync') || abilities.includes('*'));
}

let generation = 0;

/**
 * Which session this is. A session start and a sign-out each move it on, so
 * a reply to a call made for an earlier session can be told apart and dropped.
 */
export const sessionGeneration = (): number => generation;

export function nextSessionGeneration(): number {
  return ++generation;
}
