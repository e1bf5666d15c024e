/// <reference types="node" />
import { readdirSync, readFileSync, statSync } from 'node:fs';
import { dirname, join, relative } from 'node:path';
import { fileURLToPath } from 'node:url';
import { expect, it } from 'vitest';

// A transaction's work must write through the handle it is given: a write on
// the connection itself waits for the transaction to end, so from inside it
// never returns. A callback that takes no handle is the usual way to get
// this wrong, and hangs only when it runs.

const ROOT = dirname(fileURLToPath(import.meta.url));

function sources(dir: string): string[] {
  return readdirSync(dir).flatMap((name) => {
    const path = join(dir, name);
    if (statSync(path).isDirectory()) return name === 'node_modules' || name === 'dist' ? [] : sources(path);
    return /\.(ts|vue)$/.test(name) && !/\.test\.ts$/.test(name) ? [path] : [];
  });
}

const WITHOUT_HANDLE = /\.transaction\(\s*(async\s*)?\(\s*\)\s*=>/g;

it('every transaction in the client gives its work a handle', () => {
  const found = sources(ROOT).flatMap((path) =>
    [...readFileSync(path, 'utf8').matchAll(WITHOUT_HANDLE)].map(() => relative(ROOT, path)),
  );
  expect(found).toEqual([]);
});

it('catches a callback without a handle', () => {
  const sample = 'await db.transaction(async () => { await db.execute(sql); });\nawait db.transaction(() => work());';
  expect([...sample.matchAll(WITHOUT_HANDLE)]).toHaveLength(2);
  expect([...'db.transaction(async (db) => db.execute(sql))'.matchAll(WITHOUT_HANDLE)]).toHaveLength(0);
});
