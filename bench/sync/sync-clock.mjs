// Splits a sync run's time between the server and the client. The pull asks
// for its next page while it writes one, so the requests' summed time
// overlaps local work: "waiting" counts only the time a request was out and
// no transaction was running, and local work is the rest of the run.
// Self-contained: the serve-mode benchmark passes its source into the page.

/**
 * @template {object} Db
 * @param {Db} db the engine's database; the returned one times its transactions
 * @param {(path: string, init: any) => Promise<Response>} send the transport
 */
export function syncClock(db, send) {
  let requests = 0;
  let transport = 0;
  let waiting = 0;
  let out = 0;
  let writing = 0;
  let since = performance.now();
  const tick = () => {
    const now = performance.now();
    if (out > 0 && writing === 0) waiting += now - since;
    since = now;
  };
  /** @type {(path: string, init: any) => Promise<Response>} */
  const timedSend = async (path, init) => {
    tick();
    out++;
    const t = performance.now();
    try {
      const reply = await send(path, init);
      const text = await reply.text();
      requests++;
      return new Response(text, { status: reply.status });
    } finally {
      transport += performance.now() - t;
      tick();
      out--;
    }
  };
  const timedDb = /** @type {Db} */ (
    new Proxy(db, {
      get(target, key) {
        const value = Reflect.get(target, key, target);
        if (key !== 'transaction' || typeof value !== 'function') return typeof value === 'function' ? value.bind(target) : value;
        return async (/** @type {unknown[]} */ ...args) => {
          tick();
          writing++;
          try {
            return await value.apply(target, args);
          } finally {
            tick();
            writing--;
          }
        };
      },
    })
  );
  return {
    db: timedDb,
    send: timedSend,
    reset() {
      requests = transport = waiting = 0;
      since = performance.now();
    },
    /** One line of figures for `count` records or operations done in `ms`. */
    figures(/** @type {string} */ what, /** @type {number} */ count, /** @type {number} */ ms) {
      return (
        `${what}: ${count} in ${(ms / 1000).toFixed(2)} s = ${Math.round((count / ms) * 1000)}/s; ` +
        `transport ${(transport / 1000).toFixed(2)} s (waited on ${(waiting / 1000).toFixed(2)} s), ` +
        `local work ${((ms - waiting) / 1000).toFixed(2)} s, ${requests} requests`
      );
    },
  };
}
