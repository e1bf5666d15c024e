// Start-up of the host against bare WebKitGTK under Xvfb: repeated runs of
// process start -> page loaded -> one command answered -> exit, with the
// peak resident memory of the whole process tree (the host and WebKit's
// processes). Prints figures only.
import { spawn, spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, readdirSync, readFileSync, rmSync, mkdirSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';

const build = resolve(process.argv[2] ?? 'build');
const runs = Number(process.env.STARTUP_RUNS ?? 10);
const host = join(build, 'host/tovik');
const bare = join(build, 'bench/startup/bare_webkit');
const dist = resolve('client/dist');

function freeDisplay() {
  for (let n = 160; n < 220; n++)
    if (!existsSync(`/tmp/.X11-unix/X${n}`) && !existsSync(`/tmp/.X${n}-lock`)) return `:${n}`;
  throw new Error('no free X display');
}

function children() {
  const parentOf = new Map();
  for (const name of readdirSync('/proc')) {
    if (!/^\d+$/.test(name)) continue;
    try {
      const stat = readFileSync(`/proc/${name}/stat`, 'utf8');
      parentOf.set(Number(name), Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]));
    } catch {
      // The process ended while we looked.
    }
  }
  return parentOf;
}

function treeKib(root) {
  const parentOf = children();
  const tree = new Set([root]);
  for (let grew = true; grew; ) {
    grew = false;
    for (const [pid, ppid] of parentOf)
      if (tree.has(ppid) && !tree.has(pid)) {
        tree.add(pid);
        grew = true;
      }
  }
  let rss = 0;
  let pss = 0;
  for (const pid of tree) {
    try {
      rss += Number(/VmRSS:\s+(\d+)/.exec(readFileSync(`/proc/${pid}/status`, 'utf8'))?.[1] ?? 0);
      pss += Number(/Pss:\s+(\d+)/.exec(readFileSync(`/proc/${pid}/smaps_rollup`, 'utf8'))?.[1] ?? 0);
    } catch {
      // Gone already.
    }
  }
  return { rss, pss };
}

function once(command, args, env) {
  return new Promise((done, fail) => {
    const started = process.hrtime.bigint();
    const child = spawn(command, args, { env, stdio: ['ignore', 'pipe', 'pipe'] });
    let out = '';
    child.stdout.on('data', (d) => (out += d));
    child.stderr.on('data', () => {});
    let peak = { rss: 0, pss: 0 };
    const poll = setInterval(() => {
      const now = treeKib(child.pid);
      peak = { rss: Math.max(peak.rss, now.rss), pss: Math.max(peak.pss, now.pss) };
    }, 10);
    const limit = setTimeout(() => child.kill('SIGKILL'), 60000);
    child.on('exit', (code) => {
      clearInterval(poll);
      clearTimeout(limit);
      const seconds = Number(process.hrtime.bigint() - started) / 1e9;
      if (code !== 0 || !out.includes('answered')) fail(new Error(`${command} exited ${code}: ${out}`));
      else done({ seconds, ...peak });
    });
  });
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

const display = freeDisplay();
const xvfb = spawn('Xvfb', [display, '-screen', '0', '1280x900x24', '-nolisten', 'tcp'], { stdio: 'ignore' });
const work = mkdtempSync(join(tmpdir(), 'tovik-startup-'));
try {
  for (let i = 0; i < 50 && !existsSync(`/tmp/.X11-unix/X${display.slice(1)}`); i++)
    await new Promise((r) => setTimeout(r, 100));
  mkdirSync(join(work, 'run'), { mode: 0o700 });
  const env = { ...process.env, DISPLAY: display, XDG_RUNTIME_DIR: join(work, 'run'), HOME: work };
  const hostArgs = ['--data-dir', join(work, 'data'), '--secret-store', 'file', '--exit-after-invoke'];
  // One warm-up each: the host's first run makes the database and its key.
  await once(host, hostArgs, env);
  await once(bare, [dist], env);
  const results = { host: [], bare: [] };
  for (let i = 0; i < runs; i++) {
    results.host.push(await once(host, hostArgs, env));
    results.bare.push(await once(bare, [dist], env));
  }
  const line = (name, rs) =>
    `${name}: median ${median(rs.map((r) => r.seconds)).toFixed(3)} s to page + one invoke + exit; ` +
    `peak memory of the process tree: RSS ${(median(rs.map((r) => r.rss)) / 1024).toFixed(0)} MiB, ` +
    `PSS ${(median(rs.map((r) => r.pss)) / 1024).toFixed(0)} MiB (median of ${rs.length} runs)`;
  console.log(line('startup tovik      ', results.host));
  console.log(line('startup bare WebKit', results.bare));
  const ratio = (key) => median(results.host.map((r) => r[key])) / median(results.bare.map((r) => r[key]));
  console.log(
    `startup ratio host/bare: time ${ratio('seconds').toFixed(2)}, RSS ${ratio('rss').toFixed(2)}, PSS ${ratio('pss').toFixed(2)}`,
  );
} finally {
  xvfb.kill();
  rmSync(work, { recursive: true, force: true });
}
