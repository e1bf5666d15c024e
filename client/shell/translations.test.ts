import { describe, expect, it } from 'vitest';
import arabic from './dictionaries/ar.json';
import english from './dictionaries/en.json';

// Texts that read the same in both languages on purpose.
const ENGLISH_IN_BOTH = new Set(['Saved']);

const sources = import.meta.glob<string>(['../**/*.ts', '../**/*.vue', '!../**/*.test.ts', '!../dist/**'], {
  query: '?raw',
  import: 'default',
  eager: true,
});

// Every translate('…') or translate("…") with a literal key, also through
// the short alias `t` that screens import (`translate as t`).
function literalKeys(text: string): string[] {
  return [...text.matchAll(/\b(?:translate|t)\(\s*(['"])((?:(?!\1)[^\\]|\\.)*)\1\s*\)/g)].map((m) => m[2] ?? '');
}

// The values of every translatable({ … }) table: keys looked up by a computed name.
function tableKeys(text: string): string[] {
  const tables = [...text.matchAll(/\btranslatable\(\s*\{([^}]*)\}\s*\)/g)].map((m) => m[1] ?? '');
  return tables.flatMap((table) =>
    [...table.matchAll(/:\s*(['"])((?:(?!\1)[^\\]|\\.)*)\1/g)].map((m) => m[2] ?? ''),
  );
}

describe('dictionaries', () => {
  it('find the keys of literal calls and of translatable tables', () => {
    expect(literalKeys(`t('A') translate("B") t(name)`)).toEqual(['A', 'B']);
    expect(tableKeys(`translatable({ a: 'X', 'b-c': "Y" })`)).toEqual(['X', 'Y']);
  });

  it('have an Arabic text for every key the client translates', () => {
    const missing: string[] = [];
    for (const [file, text] of Object.entries(sources)) {
      for (const key of [...literalKeys(text), ...tableKeys(text)]) {
        if (!Object.hasOwn(arabic, key) && !ENGLISH_IN_BOTH.has(key)) missing.push(`${file}: ${key}`);
      }
    }
    expect(sources['./language.ts']).toBeDefined();
    expect(missing).toEqual([]);
  });

  it('hold the dotted codes in English and only those', () => {
    const keys = Object.keys(english);
    expect(keys.every((key) => /^[a-z]+\.[A-Za-z_]+$/.test(key))).toBe(true);
    // Every English code has its Arabic twin, except the four task codes,
    // which exist in Arabic only.
    expect(keys.filter((key) => !Object.hasOwn(arabic, key))).toEqual([]);
    expect(Object.keys(arabic).filter((key) => key.startsWith('task.'))).toHaveLength(4);
  });

  it('keep every Arabic text trimmed and non-empty', () => {
    const bad = Object.entries(arabic).filter(([, text]) => text.trim() !== text || text === '');
    expect(bad).toEqual([]);
  });
});
