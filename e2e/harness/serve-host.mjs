// Starts the desktop host in serve mode for tests and benchmarks, each with
// its own temporary folders, and stops it with its whole process group.
import { spawn } from 'node:child_process';
import { mkdir, mkdtemp, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { createInterface } from 'node:readline';
import { fileURLToPath } from 'node:url';

const repoRoot = fileURLToPath(new URL('../..', import.meta.url));

export const HOST_BINARY = process.env.TOVIK_HOST ?? path.join(repoRoot, 'build/host/tovik');

const SERVING = /^serving (http:\/\/127\.0\.0\.1:(\d+)\/\?bridge=([0-9A-Za-z]+))$/;

/**
 * @typedef {object} ServeHost
 * @property {string} url the page address, with the bridge token in its query
 * @property {string} origin
 * @property {string} token
 * @property {string} dataDir
 * @property {string} documentsDir
 * @property {string} downloadsDir
 * @property {() => string} stderr what the host has written to stderr so far
 * @property {() => Promise<{ code: number | null, signal: string | null }>} stop
 * @property {() => Promise<void>} crash SIGKILL, as a power cut or a killed process; a kept dataDir stays
 */

/** @type {Set<import('node:child_process').ChildProcess>} */
const running = new Set();

// A test runner that dies mid-file must not leave hosts behind.
process.on('exit', () => {
  for (const child of running) killGroup(child, 'SIGKILL');
});

/**
 * @param {import('node:child_process').ChildProcess} child
 * @param {NodeJS.Signals} signal
 */
function killGroup(child, signal) {
  if (child.pid === undefined || child.exitCode !== null || child.signalCode !== null) return;
  try {
    process.kill(-child.pid, signal);
  } catch {
    // Already gone.
  }
}

/**
 * @param {import('node:child_process').ChildProcess} child
 * @param {number} ms
 * @returns {Promise<boolean>} whether it exited in time
 */
function exited(child, ms) {
  // No pid: the program never started.
  if (child.pid === undefined || child.exitCode !== null || child.signalCode !== null) return Promise.resolve(true);
  return new Promise((resolve) => {
    const timer = setTimeout(() => resolve(false), ms);
    child.once('exit', () => {
      clearTimeout(timer);
      resolve(true);
    });
  });
}

/**
 * @param {{ binary?: string, startTimeoutMs?: number, extraArgs?: string[], dataDir?: string }} [options]
 *   dataDir: an existing data folder to start on (a restart); it is left in place on stop.
 * @returns {Promise<ServeHost>}
 */
export async function startServeHost({ binary = HOST_BINARY, startTimeoutMs = 20_000, extraArgs = [], dataDir: keptDataDir } = {}) {
  const root = await mkdtemp(path.join(tmpdir(), 'tovik-host-'));
  const dir = async (/** @type {string} */ name) => {
    const p = path.join(root, name);
    await mkdir(p, { recursive: true, mode: 0o700 });
    return p;
  };
  const dataDir = keptDataDir ?? (await dir('data'));
  const documentsDir = await dir('documents');
  const downloadsDir = await dir('downloads');
  // Keep the host away from the user's own folders and runtime files.
  /** @type {NodeJS.ProcessEnv} */
  const env = {
    ...process.env,
    XDG_DATA_HOME: await dir('xdg-data'),
    XDG_CONFIG_HOME: await dir('xdg-config'),
    XDG_CACHE_HOME: await dir('xdg-cache'),
    XDG_RUNTIME_DIR: await dir('xdg-runtime'),
  };
  delete env.TOVIK_BRIDGE_TOKEN;

  const args = [
    '--serve', '--port', '0',
    '--data-dir', dataDir,
    '--documents-dir', documentsDir,
    '--downloads-dir', downloadsDir,
    '--secret-store', 'file',
    ...extraArgs,
  ];
  const child = spawn(binary, args, { detached: true, env, stdio: ['ignore', 'pipe', 'pipe'] });
  running.add(child);

  let stderr = '';
  child.stderr?.setEncoding('utf8');
  child.stderr?.on('data', (chunk) => {
    if (stderr.length < 1_000_000) stderr += chunk;
  });

  const stop = async () => {
    killGroup(child, 'SIGTERM');
    if (!(await exited(child, 5_000))) {
      killGroup(child, 'SIGKILL');
      await exited(child, 5_000);
    }
    running.delete(child);
    await rm(root, { recursive: true, force: true });
    return { code: child.exitCode, signal: child.signalCode };
  };

  const crash = async () => {
    killGroup(child, 'SIGKILL');
    await exited(child, 5_000);
    running.delete(child);
    await rm(root, { recursive: true, force: true });
  };

  try {
    const first = await new Promise((resolve, reject) => {
      const lines = createInterface({ input: /** @type {import('node:stream').Readable} */ (child.stdout) });
      const fail = (/** @type {string} */ why) => {
        clearTimeout(timer);
        reject(new Error(`${why}\ncommand: ${binary} ${args.join(' ')}\nstderr:\n${stderr}`));
      };
      const timer = setTimeout(() => fail(`the host printed no address within ${startTimeoutMs} ms`), startTimeoutMs);
      child.once('error', (error) => fail(`the host did not start: ${error.message}`));
      child.once('exit', (code, signal) => fail(`the host exited before serving (code ${code}, signal ${signal})`));
      // Later lines are read and dropped so a full pipe never blocks the host.
      lines.once('line', (line) => {
        clearTimeout(timer);
        resolve(line);
      });
    });
    const match = SERVING.exec(String(first));
    if (!match) throw new Error(`unexpected first line from the host: ${JSON.stringify(first)}\nstderr:\n${stderr}`);
    const [, url, port, token] = /** @type {string[]} */ (match);
    return {
      url: /** @type {string} */ (url),
      origin: `http://127.0.0.1:${port}`,
      token: /** @type {string} */ (token),
      dataDir,
      documentsDir,
      downloadsDir,
      stderr: () => stderr,
      stop,
      crash,
    };
  } catch (error) {
    await stop();
    throw error;
  }
}
