// A private CUPS scheduler for tests: its own configuration, domain socket,
// spool and logs in a temporary folder, no browsing and no network listener.
// Clients reach it through CUPS_SERVER; the machine's own CUPS is never touched.
import { execFile, spawn } from 'node:child_process';
import { existsSync } from 'node:fs';
import { mkdir, mkdtemp, readFile, rm, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { promisify } from 'node:util';

const run = promisify(execFile);

/**
 * @typedef {object} PrivateCups
 * @property {string} server the CUPS_SERVER value (the socket path)
 * @property {(args: string[]) => Promise<string>} admin runs a CUPS client tool (lpadmin, cupsdisable, ...) against it
 * @property {(name: string, device: string) => Promise<void>} addRawQueue
 * @property {() => Promise<string>} log the scheduler's error log
 * @property {() => Promise<void>} stop
 */

/** @returns {Promise<PrivateCups>} */
export async function startPrivateCups() {
  const root = await mkdtemp(path.join(tmpdir(), 'tovik-cups-'));
  const server = path.join(root, 'cups.sock');
  for (const dir of ['spool/tmp', 'cache', 'state', 'log']) await mkdir(path.join(root, dir), { recursive: true });
  await writeFile(
    path.join(root, 'cupsd.conf'),
    [
      `Listen ${server}`,
      'Browsing No',
      'BrowseLocalProtocols none',
      'DefaultAuthType None',
      'WebInterface No',
      'LogLevel warn',
      '<Location />',
      '  Order allow,deny',
      '  Allow all',
      '</Location>',
      '<Policy default>',
      '  <Limit All>',
      '    Order deny,allow',
      '  </Limit>',
      '</Policy>',
      '',
    ].join('\n'),
  );
  await writeFile(
    path.join(root, 'cups-files.conf'),
    [
      `ServerRoot ${root}`,
      `RequestRoot ${root}/spool`,
      `TempDir ${root}/spool/tmp`,
      `CacheDir ${root}/cache`,
      `StateDir ${root}/state`,
      `AccessLog ${root}/log/access_log`,
      `ErrorLog ${root}/log/error_log`,
      `PageLog ${root}/log/page_log`,
      'ServerBin /usr/lib/cups',
      'DataDir /usr/share/cups',
      'FileDevice No',
      '',
    ].join('\n'),
  );
  const child = spawn('/usr/sbin/cupsd', ['-f', '-c', path.join(root, 'cupsd.conf'), '-s', path.join(root, 'cups-files.conf')], {
    stdio: ['ignore', 'ignore', 'pipe'],
  });
  let stderr = '';
  child.stderr?.on('data', (chunk) => (stderr += chunk));

  const env = { ...process.env, CUPS_SERVER: server };
  const admin = async (/** @type {string[]} */ [tool, ...args]) =>
    (await run(/** @type {string} */ (tool), args, { env })).stdout;

  const stop = async () => {
    if (child.exitCode === null && child.signalCode === null) {
      const gone = new Promise((resolve) => child.once('exit', resolve));
      child.kill('SIGTERM');
      await gone;
    }
    await rm(root, { recursive: true, force: true });
  };

  // The scheduler is up once its socket answers a query.
  for (let tries = 0; ; tries++) {
    if (child.exitCode !== null) throw new Error(`cupsd exited: ${stderr}`);
    if (existsSync(server)) {
      try {
        await admin(['lpstat', '-r']);
        break;
      } catch {
        // Not answering yet.
      }
    }
    if (tries > 100) {
      await stop();
      throw new Error(`cupsd did not start: ${stderr}`);
    }
    await new Promise((resolve) => setTimeout(resolve, 100));
  }

  return {
    server,
    admin,
    // No model or driver: a raw queue passes the job's bytes to the device unchanged.
    addRawQueue: async (name, device) => void (await admin(['lpadmin', '-p', name, '-v', device, '-E'])),
    log: () => readFile(path.join(root, 'log/error_log'), 'utf8').catch(() => ''),
    stop,
  };
}
