import { DEFAULT_SERVER_URL, LEGACY_SERVER_HOST } from './deployment';
import { readMeta, writeMeta } from './meta';

const escapeRegExp = (text: string) => text.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
const legacyOrigin = new RegExp(`^https?://${escapeRegExp(LEGACY_SERVER_HOST)}/?$`, 'i');

/** The server address: the stored one, or the built-in default. */
export async function serverUrl(): Promise<string> {
  const stored = (await readMeta('server_url'))?.trim() ?? '';
  if (!stored || legacyOrigin.test(stored)) return DEFAULT_SERVER_URL;
  return stored;
}

export async function setServerUrl(url: string): Promise<void> {
  await writeMeta('server_url', url.trim());
}

export function withoutTrailingSlashes(url: string): string {
  return url.replace(/\/+$/, '');
}

/** Where every API path is appended. */
export async function apiBase(): Promise<string> {
  return `${withoutTrailingSlashes(await serverUrl())}/mobile/v2`;
}
