/// <reference types="node" />
import { existsSync, readdirSync, readFileSync, statSync } from 'node:fs';
import { dirname, join, relative, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { expect, it } from 'vitest';

// The client's layout, checked on every import (static, dynamic and in .vue
// files): imports run app -> features -> sync -> shell -> storage -> bridge,
// core is open to all and uses nothing else, and a folder with an index.ts
// is entered only through it (tests and other test fixtures may also use
// its testing.ts).

const ROOT = dirname(fileURLToPath(import.meta.url));

const RANK: Record<string, number> = {
  app: 0,
  sales: 1,
  backoffice: 1,
  online: 1,
  sync: 2,
  shell: 3,
  storage: 4,
  bridge: 5,
};

/**
 * The only imports against the order. Tests of the engine and the session
 * run over the real entity descriptors and table catalogue, so what they
 * test is what ships; they reach them through the app's feature list.
 */
const ALLOWED_IN_TESTS = new Set(['app/features.ts']);

function sources(dir: string): string[] {
  return readdirSync(dir).flatMap((name) => {
    const path = join(dir, name);
    if (name === 'node_modules' || name === 'dist') return [];
    if (statSync(path).isDirectory()) return sources(path);
    return /\.(ts|vue)$/.test(name) && !name.endsWith('.d.ts') ? [path] : [];
  });
}

const SPECIFIER = /(?:\bfrom\s*|\bimport\s*\(\s*|^\s*import\s+)['"]([^'"]+)['"]/gm;

function resolveImport(from: string, specifier: string): string | null {
  if (!specifier.startsWith('.')) return null;
  const base = resolve(dirname(from), specifier);
  for (const candidate of [base, `${base}.ts`, join(base, 'index.ts')])
    if (existsSync(candidate) && statSync(candidate).isFile()) return candidate;
  throw new Error(`${relative(ROOT, from)}: cannot resolve ${specifier}`);
}

const topOf = (path: string) => relative(ROOT, path).split('/')[0] ?? '';

/** The innermost folder with an index.ts that holds `path`. */
function unitOf(path: string): string | null {
  for (let dir = dirname(path); dir.startsWith(ROOT) && dir !== ROOT; dir = dirname(dir))
    if (existsSync(join(dir, 'index.ts'))) return dir;
  return null;
}

function violation(from: string, to: string): string | null {
  const test = from.endsWith('.test.ts');
  const target = relative(ROOT, to);
  if (test && ALLOWED_IN_TESTS.has(target)) return null;
  const [a, b] = [topOf(from), topOf(to)];
  if (a !== b) {
    if (a === 'core') return 'core uses nothing else';
    if (b !== 'core' && !(b in RANK)) return `${b} is outside the layout`;
    if (b !== 'core' && (RANK[a] ?? -1) >= (RANK[b] ?? -1) && !(RANK[a] === 1 && RANK[b] === 1))
      return `${a} may not import ${b}`;
  }
  const unit = unitOf(to);
  if (unit && !from.startsWith(`${unit}/`)) {
    const face = relative(unit, to);
    const fixture = test || from.endsWith('/testing.ts');
    if (face !== 'index.ts' && !(fixture && face === 'testing.ts')) return `${target} is private to ${relative(ROOT, unit)}`;
  }
  return null;
}

it('keeps every import of the client within the layout', () => {
  const found: string[] = [];
  for (const file of sources(ROOT)) {
    for (const match of readFileSync(file, 'utf8').matchAll(SPECIFIER)) {
      const to = resolveImport(file, match[1]!);
      const why = to && violation(file, to);
      if (why) found.push(`${relative(ROOT, file)} -> ${match[1]}: ${why}`);
    }
  }
  expect(found).toEqual([]);
});

it('catches imports against the order and into private files', () => {
  const at = (path: string) => join(ROOT, path);
  expect(violation(at('sync/engine/engine.ts'), at('app/features.ts'))).toBe('sync may not import app');
  expect(violation(at('shell/navigation.ts'), at('sync/index.ts'))).toBe('shell may not import sync');
  expect(violation(at('sales/till/index.ts'), at('backoffice/clients/index.ts'))).toBeNull();
  expect(violation(at('app/wiring.ts'), at('sync/engine/outbox.ts'))).toBe('sync/engine/outbox.ts is private to sync/engine');
  expect(violation(at('core/money.ts'), at('shell/index.ts'))).toBe('core uses nothing else');
});
