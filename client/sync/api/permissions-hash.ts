// The permissions hash of the profile this client last saw. Replies that carry
// a different one mean the user's permissions changed on the server.
let known: string | null = null;

export function setPermissionsHash(hash: string | null | undefined): void {
  known = hash ? hash : null;
}

export function knownPermissionsHash(): string | null {
  return known;
}

/** Remembers a reply's hash; true when it differs from a known one. */
export function notePermissionsHash(replyHash: string | null): boolean {
  if (!replyHash || known === null || replyHash === known) return false;
  known = replyHash;
  return true;
}
