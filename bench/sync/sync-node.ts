// The first pull of RECORDS records from the reference server, then a push of
// OPS queued operations, over sql.js in Node: the client's own engine and
// merge with no host and no browser, to set against the same work through the
// host and the window. Prints figures only.
import { it } from 'vitest';
import { startServer } from '../../e2e/harness/server.mjs';
import { entities } from '../../client/app/features';
import { openMemoryDb } from '../../client/storage/testing';
import { SyncEngine } from '../../client/sync';
import { seedClients, signIn } from './seed.mjs';
import { syncClock } from './sync-clock.mjs';

const RECORDS = Number(process.env.TOVIK_BENCH_RECORDS ?? 50_000);
const OPS = Number(process.env.TOVIK_BENCH_OPS ?? 10_000);

it('prints the figures', async () => {
  const server = await startServer();
  try {
    const token = await signIn(server.url);
    await seedClients(server.url, token, RECORDS);
    const clock = syncClock(await openMemoryDb(), (path, init) =>
      fetch(`${server.url}/mobile/v2${path}`, {
        ...init,
        headers: { ...init.headers, Accept: 'application/json', 'Content-Type': 'application/json', Authorization: `Bearer ${token}` },
      }),
    );
    const db = clock.db;
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
      send: clock.send,
    });
    engine.resume();
    const figures = (what: string, count: number, ms: number) =>
      clock.figures(`${what} over sql.js in Node`, count, ms) + (engine.lastError ? `, error: ${engine.lastError}` : '');
    const t0 = performance.now();
    await engine.sync(true);
    const [row] = await db.select<{ n: number }>('SELECT COUNT(*) AS n FROM clients');
    console.log(figures(`first pull of ${RECORDS} records`, row?.n ?? 0, performance.now() - t0));

    await db.batch(
      Array.from({ length: OPS }, (_, i) => ({
        sql: "INSERT INTO outbox (op_id, entity, action, uuid, client_updated_at, data_json) VALUES (?, 'note', 'upsert', ?, ?, ?)",
        params: [crypto.randomUUID(), crypto.randomUUID(), new Date().toISOString(), JSON.stringify({ title: `n${i}`, body: 'bench' })],
      })),
    );
    clock.reset();
    const t1 = performance.now();
    await engine.sync(true);
    const [left] = await db.select<{ n: number }>('SELECT COUNT(*) AS n FROM outbox');
    console.log(figures(`push of ${OPS} queued operations`, OPS - (left?.n ?? 0), performance.now() - t1));
  } finally {
    await server.stop();
  }
}, 600_000);
