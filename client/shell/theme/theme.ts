import { META, writeMeta } from '../../storage';

export const THEME = 'neopastel';

/** The one theme: marked on the document and remembered in meta. */
export async function applyTheme(): Promise<void> {
  document.documentElement.dataset.theme = THEME;
  try {
    await writeMeta(META.theme, THEME);
  } catch {
    // The attribute is what the screens use; the stored value is a record.
  }
}
