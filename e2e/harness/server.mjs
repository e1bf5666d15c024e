// Starts the reference platform server for a test, on a free loopback port
// with a fresh store holding the demo company, and runs its admin command.
import { execFile, spawn } from 'node:child_process';
import { mkdtemp, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { createInterface } from 'node:readline';
import { fileURLToPath } from 'node:url';
import { promisify } from 'node:util';

const repoRoot = fileURLToPath(new URL('../..', import.meta.url));
export const SERVER_BINARY = process.env.TOVIK_SERVER ?? path.join(repoRoot, 'build/server/tovik-server');
const run = promisify(execFile);

/**
 * @typedef {object} TestServer
 * @property {string} url
 * @property {(...args: string[]) => Promise<Record<string, unknown>>} admin runs `tovik-server admin`
 * @property {() => Promise<void>} stop
 */

/** @returns {Promise<TestServer>} */
export async function startServer() {
  const root = await mkdtemp(path.join(tmpdir(), 'tovik-server-'));
  const db = `sqlite:${path.join(root, 'server.db')}`;
  // A quick password hash keeps sign-ins fast in tests; the store says so.
  const child = spawn(SERVER_BINARY, ['--listen', '127.0.0.1:0', '--db', db, '--seed', 'demo', '--fast-password-hash'], {
    stdio: ['ignore', 'pipe', 'ignore'],
  });
  const stop = async () => {
    if (child.exitCode === null && child.signalCode === null) {
      child.kill('SIGTERM');
      await new Promise((resolve) => child.once('exit', resolve));
    }
    await rm(root, { recursive: true, force: true });
  };
  try {
    const url = await new Promise((resolve, reject) => {
      const timer = setTimeout(() => reject(new Error('the server did not start')), 20_000);
      child.once('exit', (code) => reject(new Error(`the server exited with ${code}`)));
      createInterface({ input: /** @type {import('node:stream').Readable} */ (child.stdout) }).on('line', (line) => {
        const match = /^listening (http:\/\/127\.0\.0\.1:\d+)$/.exec(line);
        if (match) {
          clearTimeout(timer);
          resolve(match[1]);
        }
      });
    });
    // Prints one JSON line; a refused command ("ok": false) also exits non-zero.
    const admin = async (/** @type {string[]} */ ...args) => {
      const argv = ['admin', '--db', db, '--fast-password-hash', ...args];
      const stdout = await run(SERVER_BINARY, argv).then(
        (r) => r.stdout,
        (/** @type {{ stdout?: string }} */ e) => e.stdout ?? '',
      );
      return JSON.parse(stdout.trim().split('\n').pop() || '{}');
    };
    return { url: /** @type {string} */ (url), admin, stop };
  } catch (error) {
    await stop();
    throw error;
  }
}
