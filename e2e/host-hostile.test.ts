import http from 'node:http';
import { readFileSync, readdirSync } from 'node:fs';
import { mkdtemp, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { afterAll, beforeAll, describe, expect, it } from 'vitest';
import { ipc, request } from './harness/http.mjs';
import { startServeHost, type ServeHost } from './harness/serve-host.mjs';

// Requests an attacker with the bridge token (or without it) might send to a
// serve-mode host. Each must be answered with a 4xx and a message, leave the
// host running and change nothing.

let host: ServeHost;
let dataDir: string;
let keyText: string;

const secretsFile = () => path.join(host.dataDir, 'secrets.json');
const ok = async (cmd: string, args: unknown) => {
  const reply = await ipc(host.origin, host.token, cmd, args);
  expect(reply.status, reply.body).toBe(200);
  return JSON.parse(reply.body) as unknown;
};

beforeAll(async () => {
  // A folder of our own, so that it outlives the host for the restart.
  dataDir = await mkdtemp(path.join(tmpdir(), 'tovik-hostile-'));
  host = await startServeHost({ dataDir });
  await ok('db_open', {});
  await ok('db_execute', { sql: 'CREATE TABLE t (v TEXT)', params: [] });
  await ok('db_execute', { sql: "INSERT INTO t VALUES ('before')", params: [] });
  keyText = readFileSync(secretsFile(), 'utf8');
});

afterAll(async () => {
  await host?.stop();
  await rm(dataDir, { recursive: true, force: true });
});

/** The host's process, found by its private data folder. */
function hostPid(): number {
  for (const entry of readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const args = readFileSync(`/proc/${entry}/cmdline`, 'utf8').split('\0');
      if (args.includes('--serve') && args.includes(host.dataDir)) return Number(entry);
    } catch {
      // Gone meanwhile.
    }
  }
  throw new Error('the host process is gone');
}

const residentMiB = () =>
  Number(/VmRSS:\s+(\d+)/.exec(readFileSync(`/proc/${hostPid()}/status`, 'utf8'))?.[1] ?? 0) / 1024;

/** A chunked POST of `megabytes` MiB of spaces; resolves with the status once answered. */
function chunkedPost(headers: Record<string, string>, megabytes: number): Promise<{ status: number; body: string }> {
  return new Promise((resolve, reject) => {
    const req = http.request(`${host.origin}/ipc/secret_get`, { method: 'POST', headers, agent: false }, (res) => {
      let body = '';
      res.setEncoding('utf8');
      res.on('data', (chunk) => (body += chunk));
      res.on('end', () => resolve({ status: res.statusCode ?? 0, body }));
    });
    req.on('error', reject);
    const chunk = Buffer.alloc(1024 * 1024, 0x20);
    let sent = 0;
    const pump = () => {
      while (sent < megabytes) {
        sent += 1;
        if (!req.write(chunk)) return void req.once('drain', pump);
      }
      req.end();
    };
    pump();
  });
}

const deep = (depth: number) => '['.repeat(depth) + ']'.repeat(depth);
const body = (cmd: string, text: string, headers: Record<string, string> = {}) =>
  request(`${host.origin}/ipc/${cmd}`, {
    method: 'POST',
    headers: { 'Content-Type': 'application/json', 'X-Tovik-Bridge': host.token, ...headers },
    body: text,
  });

describe('hostile requests through serve mode', () => {
  const copy = () => path.join(dataDir, 'plain.db');
  const cases: [string, () => Promise<{ status: number; body: string }>, number, RegExp][] = [
    ['params nested 100,000 deep', () => body('db_execute', `{"sql":"INSERT INTO t VALUES (?)","params":${deep(100_000)}}`), 400, /nested deeper than 64/],
    ['a body nested 300,000 deep', () => body('secret_get', deep(300_000)), 400, /nested deeper than 64/],
    ['a never-closed nesting', () => body('db_select', '{"params":' + '['.repeat(500_000)), 400, /nested deeper than 64/],
    ['a number past the double range', () => body('db_execute', '{"sql":"INSERT INTO t VALUES (?)","params":[1e400]}'), 400, /number overflow/],
    ['reading db-key', () => ipc(host.origin, host.token, 'secret_get', { key: 'db-key' }), 400, /db-key is kept by the host/],
    ['replacing db-key', () => ipc(host.origin, host.token, 'secret_set', { key: 'db-key', value: '0'.repeat(64) }), 400, /db-key is kept by the host/],
    ['deleting db-key', () => ipc(host.origin, host.token, 'secret_delete', { key: 'db-key' }), 400, /db-key is kept by the host/],
    ['PRAGMA rekey', () => ipc(host.origin, host.token, 'db_execute', { sql: "PRAGMA rekey = 'x'", params: [] }), 400, /^"not authorized/],
    ['an unencrypted copy by ATTACH', () => ipc(host.origin, host.token, 'db_execute', { sql: `ATTACH '${copy()}' AS plain KEY ''`, params: [] }), 400, /^"not authorized/],
    ['sqlcipher_export', () => ipc(host.origin, host.token, 'db_select', { sql: "SELECT sqlcipher_export('main')", params: [] }), 400, /not authorized/],
    ['VACUUM INTO a file', () => ipc(host.origin, host.token, 'db_execute', { sql: `VACUUM INTO '${copy()}'`, params: [] }), 400, /^"not authorized/],
    ['a foreign origin', () => body('db_execute', '{"sql":"DELETE FROM t","params":[]}', { Origin: 'http://example.test' }), 403, /origin/],
    ['no token and a 100 MB body', () => request(`${host.origin}/ipc/db_execute`, { method: 'POST', body: Buffer.alloc(100 * 1024 * 1024, 0x20) }), 403, /token/],
  ];

  it.each(cases)('%s: a clear 4xx, the host lives on', async (_name, send, status, message) => {
    const reply = await send();
    expect(reply.status).toBe(status);
    expect(reply.body).toMatch(message);
    expect(await ok('db_select', { sql: 'SELECT 1 AS one', params: [] })).toEqual([{ one: 1 }]);
  });

  it.each([
    ['without the token', {}, 403],
    ['past the size limit', { 'X-Tovik-Bridge': 'TOKEN' }, 413],
  ])('keeps no refused chunked body in memory (%s)', async (_name, headers, status) => {
    const before = residentMiB();
    const withToken = Object.fromEntries(Object.entries(headers).map(([k, v]) => [k, v === 'TOKEN' ? host.token : v]));
    const reply = await chunkedPost(withToken, 150);
    expect(reply.status).toBe(status);
    // The 64 MiB limit itself may be held while counting; 150 MiB may not.
    expect(residentMiB() - before).toBeLessThan(100);
  });

  it('wrote nothing: one row, the same key, and a restart reads the data', async () => {
    expect(await ok('db_select', { sql: 'SELECT v FROM t', params: [] })).toEqual([{ v: 'before' }]);
    expect(readFileSync(secretsFile(), 'utf8')).toBe(keyText);
    expect(() => readFileSync(copy(), 'utf8')).toThrow();
    await host.crash();
    host = await startServeHost({ dataDir });
    await ok('db_open', {});
    expect(await ok('db_select', { sql: 'SELECT v FROM t', params: [] })).toEqual([{ v: 'before' }]);
  });
});
