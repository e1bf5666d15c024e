import { readonly, ref } from 'vue';
import { META, readMeta, writeMeta } from '../storage';
import arabic from './dictionaries/ar.json';
import english from './dictionaries/en.json';

// Two flat dictionaries: Arabic keyed by the English text or a dotted code,
// English holding only the dotted codes (English text is its own key).

export type Language = 'ar' | 'en';

const current = ref<Language>('ar');

/** The interface language; change it with `setLanguage`. */
export const language = readonly(current);

// Maps, so that keys such as "constructor" never reach Object.prototype.
const dictionaries: Record<Language, ReadonlyMap<string, string>> = {
  ar: new Map(Object.entries(arabic)),
  en: new Map(Object.entries(english)),
};

/** The text for `key` in the current language, or the key itself when there is none. */
export function translate(key: string): string {
  return dictionaries[current.value].get(key) ?? key;
}

/**
 * Marks a table whose values are translation keys looked up later by a
 * computed name; the dictionary test reads the keys from it.
 */
export function translatable<T extends Readonly<Record<string, string>>>(table: T): T {
  return table;
}

export function isLanguage(value: unknown): value is Language {
  return value === 'ar' || value === 'en';
}

export function applyLanguage(value: Language): void {
  current.value = value;
  document.documentElement.lang = value;
  document.documentElement.dir = value === 'ar' ? 'rtl' : 'ltr';
}

export async function setLanguage(value: Language): Promise<void> {
  applyLanguage(value);
  await writeMeta(META.language, value);
}

/** At boot: the stored choice, else Arabic (applied, not stored). */
export async function loadLanguage(): Promise<void> {
  const stored = await readMeta(META.language);
  applyLanguage(isLanguage(stored) ? stored : 'ar');
}
