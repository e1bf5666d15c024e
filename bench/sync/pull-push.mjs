// Sync figures against the reference server on loopback: a first pull of
// RECORDS records in pages of 500 through the host (serve mode), with the
// time split between transport and merge; the same pull over sql.js in the
// page, to show what the bridge costs; and a push of OPS queued operations.
// (sync-node.ts runs the same pull and push over sql.js in Node.)
// Prints figures only.
import { launchChromium } from '../../e2e/harness/chromium.mjs';
import { startServeHost } from '../../e2e/harness/serve-host.mjs';
import { startServer } from '../../e2e/harness/server.mjs';
import { seedClients, signIn } from './seed.mjs';
import { syncClock } from './sync-clock.mjs';

const RECORDS = Number(process.env.TOVIK_BENCH_RECORDS ?? 50_000);
const OPS = Number(process.env.TOVIK_BENCH_OPS ?? 10_000);

const print = (/** @type {{ figures: string, error: string | null }} */ r) => console.log(`${r.figures}${r.error ? `, error: ${r.error}` : ''}`);

const server = await startServer();
const host = await startServeHost();
const browser = await launchChromium();
try {
  const token = await signIn(server.url);
  await seedClients(server.url, token, RECORDS);

  const page = await browser.context.newPage();
  // The pull's figures as soon as they exist, before the push starts.
  page.on('console', (message) => {
    if (message.text().startsWith('{"figures"')) print(JSON.parse(message.text()));
  });
  await page.goto(host.url);
  await page.getByTestId('login').waitFor();
  // A session whose profile does not sync: the process's own engine stays
  // idle and the benchmark's engines have the server to themselves.
  await page.evaluate(
    async ({ token, serverUrl }) => {
      const hook = /** @type {any} */ (window).__tovik;
      await hook.invoke('secret_set', { key: 'token', value: token });
      await hook.invoke('db_execute', {
        sql: "INSERT OR REPLACE INTO meta (key, value) VALUES ('profile', ?), ('server_url', ?)",
        params: [JSON.stringify({ name: 'Bench', abilities: [], tenant: { id: 1 } }), serverUrl],
      });
    },
    { token, serverUrl: server.url },
  );
  await page.reload();
  await page.getByTestId('top-bar').waitFor();

  const run = (/** @type {'host' | 'sqljs'} */ where, /** @type {number} */ ops) =>
    page.evaluate(
      async ({ where, ops, token, records, clockSource }) => {
        const sync = /** @type {any} */ (window).__tovikSync;
        const storage = /** @type {any} */ (window).__tovikStorage;
        const syncClock = (0, eval)(`(${clockSource})`);
        const localDb = where === 'host' ? await storage.openLocalDb() : await storage.openDatabase(await storage.createMemoryBackend());
        await localDb.execute("DELETE FROM meta WHERE key IN ('pull_cursor', 'last_sync_at')");
        await localDb.execute('DELETE FROM clients');
        const clock = syncClock(localDb, sync.sendThroughApi);
        const db = clock.db;
        const engine = new sync.SyncEngine({
          db: async () => db,
          entities: sync.entities,
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
        const label = where === 'host' ? 'through the host' : 'over sql.js in the page';
        const t0 = performance.now();
        await engine.sync(true);
        const pullMs = performance.now() - t0;
        const [{ n }] = await db.select('SELECT COUNT(*) AS n FROM clients');
        const pull = { figures: clock.figures(`first pull of ${records} records ${label}`, n, pullMs), error: engine.lastError };
        if (!ops) return { pull };
        console.log(JSON.stringify(pull));

        for (let i = 0; i < ops; i++)
          await db.execute(
            "INSERT INTO outbox (op_id, entity, action, uuid, client_updated_at, data_json) VALUES (?, 'note', 'upsert', ?, ?, ?)",
            [crypto.randomUUID(), crypto.randomUUID(), new Date().toISOString(), JSON.stringify({ title: `n${i}`, body: 'bench' })],
          );
        clock.reset();
        const t1 = performance.now();
        await engine.sync(true);
        const [{ left }] = await db.select('SELECT COUNT(*) AS left FROM outbox');
        const pushMs = performance.now() - t1;
        return { pull, push: { figures: clock.figures(`push of queued operations ${label}`, ops - left, pushMs), error: engine.lastError } };
      },
      { where, ops, token, records: RECORDS, clockSource: syncClock.toString() },
    );

  const overHost = await run('host', OPS);
  print(overHost.push);
  const overSqlJs = await run('sqljs', 0);
  print(overSqlJs.pull);
} finally {
  await browser.close();
  await host.stop();
  await server.stop();
}
