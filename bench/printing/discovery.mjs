// Discovery figures: a full scan of 127.0.0.0/24 through the host, with three
// answering printers and every other address made silent (a listener that
// never accepts and whose queue is full, so connection attempts wait out the
// 300 ms limit as on a real network), and db_select latency during the scan.
// Only loopback is ever scanned. Prints figures only.
import { spawn } from 'node:child_process';
import { createConnection } from 'node:net';
import { ipc } from '../../e2e/harness/http.mjs';
import { startCapturePrinter } from '../../e2e/harness/printer-listener.mjs';
import { startServeHost } from '../../e2e/harness/serve-host.mjs';

const PORT = Number(process.env.BENCH_DISCOVERY_PORT ?? 19100);
const PRINTERS = [2, 20, 100];

/** @param {number[]} values */
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)] ?? NaN;

// One process listens on every silent address and then blocks its event loop.
const silentHosts = Array.from({ length: 254 }, (_, i) => i + 1).filter((n) => !PRINTERS.includes(n));
const silent = spawn(
  process.execPath,
  [
    '-e',
    `const net = require('node:net');
     let left = ${silentHosts.length};
     for (const n of ${JSON.stringify(silentHosts)})
       net.createServer().listen({ port: ${PORT}, host: '127.0.0.' + n, backlog: 1 }, () => {
         if (--left === 0) { process.stdout.write('ready'); setTimeout(() => Atomics.wait(new Int32Array(new SharedArrayBuffer(4)), 0, 0), 50); }
       });`,
  ],
  { stdio: ['ignore', 'pipe', 'inherit'] },
);
await new Promise((resolve) => silent.stdout.once('data', resolve));
await new Promise((resolve) => setTimeout(resolve, 300));
// Fill each silent queue so that further attempts are dropped.
const fillers = silentHosts.flatMap((n) =>
  [0, 1, 2].map(() => createConnection({ port: PORT, host: `127.0.0.${n}` }).on('error', () => {})),
);
const printers = await Promise.all(PRINTERS.map((n) => startCapturePrinter({ address: `127.0.0.${n}`, port: PORT })));

process.env.TOVIK_DISCOVERY_BASE = '127.0.0.0';
const host = await startServeHost();
try {
  await ipc(host.origin, host.token, 'db_open', {});
  let scanning = true;
  const started = performance.now();
  const scan = ipc(host.origin, host.token, 'printer_discover', { port: PORT }).then((reply) => {
    scanning = false;
    return { reply, ms: performance.now() - started };
  });
  const latencies = [];
  while (scanning) {
    const t = performance.now();
    await ipc(host.origin, host.token, 'db_select', { sql: 'SELECT 1 AS one', params: [] });
    latencies.push(performance.now() - t);
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
  const { reply, ms } = await scan;
  console.log(`discovery of a /24 with 251 silent addresses: ${ms.toFixed(0)} ms, found ${reply.body}`);
  console.log(
    `db_select during the scan: ${latencies.length} calls, median ${median(latencies).toFixed(2)} ms, max ${Math.max(...latencies).toFixed(2)} ms`,
  );
} finally {
  await host.stop();
  for (const socket of fillers) socket.destroy();
  silent.kill();
  await Promise.all(printers.map((p) => p.close()));
}
