import { META, readMeta } from '../../storage';

// The company the user works in: read once, then kept in memory until the
// company switch replaces it or sign-out clears it.
let cached: { id: number | null } | null = null;

export async function currentCompanyId(): Promise<number | null> {
  if (cached) return cached.id;
  let id: number | null = null;
  try {
    const text = (await readMeta(META.companyId))?.trim() ?? '';
    const value = /^\d+$/.test(text) ? Number(text) : 0;
    id = Number.isSafeInteger(value) && value > 0 ? value : null;
  } catch {
    id = null;
  }
  cached = { id };
  return id;
}

export function setCachedCompanyId(id: number | null): void {
  cached = { id };
}

export function clearCompanyCache(): void {
  cached = null;
}
