import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest';
import { installFakeHostDatabase, type FakeHost } from '../storage/testing';
import { applyLanguage, translate, type Language } from './language';

describe('translate', () => {
  afterEach(() => applyLanguage('ar'));

  it.each<[Language, string, string]>([
    ['ar', 'Sync now', 'زامن الآن'],
    ['ar', 'status.paid', 'مدفوعة'],
    ['ar', 'task.todo', 'للتنفيذ'],
    ['ar', 'Saved', 'Saved'],
    ['ar', 'status.unknown', 'status.unknown'],
    ['ar', 'constructor', 'constructor'],
    ['en', 'status.paid', 'Paid'],
    ['en', 'Sync now', 'Sync now'],
    ['en', 'task.todo', 'task.todo'],
    ['en', 'toString', 'toString'],
  ])('in %s gives %s → %s', (language, key, text) => {
    applyLanguage(language);
    expect(translate(key)).toBe(text);
  });

  it('sets lang and dir on the document element', () => {
    applyLanguage('en');
    expect([document.documentElement.lang, document.documentElement.dir]).toEqual(['en', 'ltr']);
    applyLanguage('ar');
    expect([document.documentElement.lang, document.documentElement.dir]).toEqual(['ar', 'rtl']);
  });
});

describe('the saved language', () => {
  let host: FakeHost;

  beforeEach(async () => {
    host = await installFakeHostDatabase();
  });

  afterEach(() => {
    host.uninstall();
    vi.resetModules();
  });

  it('boots in Arabic without storing it, and a stored choice wins on the next boot', async () => {
    const { language, loadLanguage, setLanguage } = await import('./index');
    const { openLocalDb } = await import('../storage');
    // The language step of the boot, over the host's database.
    const bootLanguage = loadLanguage;
    applyLanguage('en');
    await bootLanguage();
    expect(language.value).toBe('ar');
    const db = await openLocalDb();
    expect(await db.select("SELECT value FROM meta WHERE key = 'lang'")).toEqual([]);

    await setLanguage('en');
    expect(await db.select("SELECT value FROM meta WHERE key = 'lang'")).toEqual([{ value: 'en' }]);
    applyLanguage('ar');
    await bootLanguage();
    expect([language.value, document.documentElement.dir]).toEqual(['en', 'ltr']);
  });
});
