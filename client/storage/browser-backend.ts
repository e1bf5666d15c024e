/// <reference types="vite/client" />
import sqlWasmUrl from 'sql.js/dist/sql-wasm.wasm?url';
import type { StorageBackend } from './backend';
import { createSqlJsBackend } from './sqljs-backend';

// The browser-only development build keeps its whole database image in local
// storage, as Base64, and writes it back after every change that is not
// inside a transaction.

export const DEV_DB_KEY = 'quillarex.devdb';

/** Where the page fetches sql.js's WebAssembly file from. */
export const wasmUrl: string = sqlWasmUrl;

const CHUNK = 0x8000;

export function toBase64(bytes: Uint8Array): string {
  let text = '';
  for (let i = 0; i < bytes.length; i += CHUNK) text += String.fromCharCode(...bytes.subarray(i, i + CHUNK));
  return btoa(text);
}

export function fromBase64(text: string): Uint8Array {
  const binary = atob(text);
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

let warned = false;

export function createBrowserBackend(): Promise<StorageBackend> {
  const saved = localStorage.getItem(DEV_DB_KEY);
  return createSqlJsBackend({
    wasmUrl,
    image: saved ? fromBase64(saved) : null,
    save(image) {
      try {
        localStorage.setItem(DEV_DB_KEY, toBase64(image));
      } catch (error) {
        // Local storage holds a few megabytes; past that the change stays in
        // memory only and is gone after a reload. Say so once.
        if (!warned) console.warn('the development database no longer fits in local storage:', error);
        warned = true;
      }
    },
  });
}
