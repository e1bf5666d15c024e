import { DEFAULT_SERVER_URL, LEGACY_SERVER_HOST } from './deployment';
import { META, readMeta, writeMeta } from '../../storage';

const escapeRegExp = (text: string) => text.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
const legacyOrigin = new RegExp(`^https?://${escapeRegExp(LEGACY_SERVER_HOST)}/?$`, 'i');

/** The server address: the stored one, or the built-in default. */
export async function serverUrl(): Promise<string> {
  const stored = (await readMeta(META.serverUrl))?.trim() ?? '';
  if (!stored || legacyOrigin.test(stored)) return DEFAULT_SERVER_URL;
  return stored;
}

export async function setServerUrl(url: string): Promise<void> {
  await writeMeta(META.serverUrl, url.trim());
}

export function withoutTrailingSlashes(url: string): string {
  return url.replace(/\/+$/, '');
}

/** Where every API path is appended. */
export async function apiBase(): Promise<string> {
  return `${withoutTrailingSlashes(await serverUrl())}/mobile/v2`;
}
