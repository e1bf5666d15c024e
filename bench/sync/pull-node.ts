// The first pull of RECORDS records from the reference server over sql.js in
// Node: the client's own engine and merge with no host and no browser, to
// set against the same pull through the host. Prints figures only.
import { it } from 'vitest';
import { startServer } from '../../e2e/harness/server.mjs';
import { entities } from '../../client/app/features';
import { openMemoryDb } from '../../client/storage/testing';
import { SyncEngine } from '../../client/sync';
import { seedClients, signIn } from './seed.mjs';

const RECORDS = Number(process.env.TOVIK_BENCH_RECORDS ?? 50_000);

it('prints the figures', async () => {
  const server = await startServer();
  try {
    const token = await signIn(server.url);
    await seedClients(server.url, token, RECORDS);
    const db = await openMemoryDb();
    let transport = 0;
    let requests = 0;
    const engine = new SyncEngine({
      db: async () => db,
      entities,
      deviceId: async () => 'bench-device',
      token: async () => token,
      account: () => ({ companyId: '1', userId: 'bench' }),
      dataEpoch: async () => null,
      onAuthLost: () => {},
      onStatus: () => {},
      onChanged: () => {},
      onPushed: () => {},
      online: () => true,
      send: async (path, init) => {
        const t = performance.now();
        const reply = await fetch(`${server.url}/mobile/v2${path}`, {
          ...init,
          headers: { ...init.headers, Accept: 'application/json', 'Content-Type': 'application/json', Authorization: `Bearer ${token}` },
        });
        const text = await reply.text();
        transport += performance.now() - t;
        requests++;
        return new Response(text, { status: reply.status });
      },
    });
    engine.resume();
    const t0 = performance.now();
    await engine.sync(true);
    const ms = performance.now() - t0;
    const [row] = await db.select<{ n: number }>('SELECT COUNT(*) AS n FROM clients');
    const records = row?.n ?? 0;
    console.log(
      `first pull of ${RECORDS} records over sql.js in Node: ${records} in ${(ms / 1000).toFixed(2)} s = ${Math.round((records / ms) * 1000)}/s; ` +
        `transport ${(transport / 1000).toFixed(2)} s, local work ${((ms - transport) / 1000).toFixed(2)} s, ${requests} requests` +
        (engine.lastError ? `, error: ${engine.lastError}` : ''),
    );
  } finally {
    await server.stop();
  }
}, 600_000);
