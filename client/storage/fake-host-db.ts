import { installFakeHost, type FakeHost } from '../bridge/fake-host';
import { createSqlJsBackend } from './sqljs-backend';

/**
 * A fake host (see bridge/fake-host) whose database commands run on sql.js,
 * so tests drive the desktop backend through the real invoke envelope.
 * `openFailure` makes every db_open fail with that message.
 */
export async function installFakeHostDatabase(openFailure?: string): Promise<FakeHost> {
  const db = await createSqlJsBackend();
  return installFakeHost({
    handlers: {
      db_open: () => {
        if (openFailure) throw openFailure;
        return null;
      },
      db_execute: async ({ sql, params }) => {
        await db.run(sql, params);
        return null;
      },
      db_select: ({ sql, params }) => db.query(sql, params),
    },
  });
}
