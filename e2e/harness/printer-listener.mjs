// Fake thermal printers: loopback listeners that record every connection's bytes.
import { spawn } from 'node:child_process';
import { createConnection, createServer } from 'node:net';

/**
 * @typedef {object} CapturePrinter
 * @property {string} address
 * @property {number} port
 * @property {Buffer[]} jobs the bytes of each connection that has ended, in order
 * @property {(count?: number, ms?: number) => Promise<Buffer>} nextJob waits until `count` jobs have ended; the last one
 * @property {() => Promise<void>} close
 */

/**
 * @param {{ address?: string, port?: number }} [options] address must be loopback
 * @returns {Promise<CapturePrinter>}
 */
export async function startCapturePrinter({ address = '127.0.0.1', port = 0 } = {}) {
  if (!/^127\.\d+\.\d+\.\d+$/.test(address)) throw new Error(`not a loopback address: ${address}`);
  /** @type {Buffer[]} */
  const jobs = [];
  /** @type {(() => void)[]} */
  const waiting = [];
  const sockets = new Set();
  const server = createServer((socket) => {
    sockets.add(socket);
    /** @type {Buffer[]} */
    const chunks = [];
    socket.on('data', (chunk) => chunks.push(chunk));
    socket.on('close', () => {
      sockets.delete(socket);
      if (chunks.length) jobs.push(Buffer.concat(chunks));
      for (const wake of waiting.splice(0)) wake();
    });
    socket.on('error', () => {});
  });
  await new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, address, () => resolve(undefined));
  });
  const bound = server.address();
  return {
    address,
    port: typeof bound === 'object' && bound ? bound.port : port,
    jobs,
    async nextJob(count = jobs.length + 1, ms = 30_000) {
      const deadline = Date.now() + ms;
      while (jobs.length < count) {
        if (Date.now() > deadline) throw new Error(`no print job arrived within ${ms} ms`);
        await new Promise((resolve) => {
          waiting.push(() => resolve(undefined));
          setTimeout(resolve, 200);
        });
      }
      return /** @type {Buffer} */ (jobs[count - 1]);
    },
    close: () =>
      new Promise((resolve) => {
        for (const socket of sockets) socket.destroy();
        server.close(() => resolve());
      }),
  };
}

// Listens with the smallest queue, prints its port, then blocks its own event loop so it never accepts.
const NEVER_ACCEPTS = `
const server = require('node:net').createServer();
server.listen({ port: 0, host: '127.0.0.1', backlog: 1 }, () => {
  process.stdout.write(String(server.address().port));
  setTimeout(() => Atomics.wait(new Int32Array(new SharedArrayBuffer(4)), 0, 0), 20);
});`;

/**
 * A printer that is off: a loopback listener that never accepts, its queue
 * filled, so the kernel drops new connection attempts and a connect times out.
 * @returns {Promise<{ port: number, close: () => void }>}
 */
export async function startSilentPrinter() {
  const child = spawn(process.execPath, ['-e', NEVER_ACCEPTS], { stdio: ['ignore', 'pipe', 'inherit'] });
  const port = Number(await new Promise((resolve) => child.stdout.once('data', (d) => resolve(String(d)))));
  await new Promise((resolve) => setTimeout(resolve, 300));
  /** @type {import('node:net').Socket[]} */
  const held = [];
  for (let i = 0; i < 6; i++) held.push(createConnection({ port, host: '127.0.0.1' }).on('error', () => {}));
  return {
    port,
    close: () => {
      for (const socket of held) socket.destroy();
      child.kill();
    },
  };
}
