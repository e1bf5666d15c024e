// Drives the in-window bridge the way the client does (messages as JSON text) and reports the figures
// through the benchmark's own bench_report command.
(async () => {
  const bridge = window.webkit.messageHandlers.tovik;
  const call = async (cmd, args) => {
    const reply = JSON.parse(await bridge.postMessage(JSON.stringify({ cmd, args })));
    if (!reply.ok) throw new Error(reply.error);
    return reply.value;
  };
  const quantile = (sorted, q) => sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))];
  const report = {};
  try {
    await call("db_open", {});
    for (let i = 0; i < 500; i++) await call("db_select", { sql: "SELECT 1", params: [] });

    // The page's clock ticks in whole milliseconds here, so calls are timed in
    // batches of 100 and each batch gives one per-call figure.
    const calls = 10000;
    const batch = 100;
    const perCall = new Float64Array(calls / batch);
    const started = performance.now();
    for (let b = 0; b < perCall.length; b++) {
      const t = performance.now();
      for (let i = 0; i < batch; i++) await call("db_select", { sql: "SELECT 1", params: [] });
      perCall[b] = (performance.now() - t) / batch;
    }
    const total = performance.now() - started;
    perCall.sort();
    // The web view's own floor: the same message to a command that does
    // nothing, its reply left unread.
    const floor = new Float64Array(calls / batch);
    const nothing = JSON.stringify({ cmd: "bench_nothing", args: {} });
    for (let b = 0; b < floor.length; b++) {
      const t = performance.now();
      for (let i = 0; i < batch; i++) await bridge.postMessage(nothing);
      floor[b] = (performance.now() - t) / batch;
    }
    floor.sort();
    report.roundtrip = {
      calls,
      median_us: quantile(perCall, 0.5) * 1000,
      p99_us: quantile(perCall, 0.99) * 1000,
      calls_per_second: calls / (total / 1000),
      floor_median_us: quantile(floor, 0.5) * 1000,
    };

    // About 3 MB of JSON: the same table the serve-mode benchmark uses.
    await call("db_execute", {
      sql: "CREATE TABLE big (id INTEGER PRIMARY KEY, name TEXT, price REAL, qty INTEGER, note TEXT, code TEXT)",
      params: [],
    });
    await call("db_execute", {
      sql:
        "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 30000) " +
        "INSERT INTO big SELECT x, 'product ' || x, x * 1.25, x % 97, 'a note of some length for row ' || x, " +
        "printf('%08d', x) FROM n",
      params: [],
    });
    // Each run split into the reply's arrival (host work and the crossing)
    // and the page's parse of it.
    const runs = [];
    const arrivals = [];
    const parses = [];
    let bytes = 0;
    for (let i = 0; i < 7; i++) {
      const t = performance.now();
      const text = await bridge.postMessage(JSON.stringify({ cmd: "db_select", args: { sql: "SELECT * FROM big", params: [] } }));
      const arrived = performance.now();
      const reply = JSON.parse(text);
      if (!reply.ok) throw new Error(reply.error);
      const done = performance.now();
      runs.push(done - t);
      arrivals.push(arrived - t);
      parses.push(done - arrived);
      if (i === 0) bytes = JSON.stringify(reply.value).length;
    }
    const median = (values) => quantile([...values].sort((a, b) => a - b), 0.5);
    report.large = {
      rows: 30000,
      json_bytes: bytes,
      first_ms: runs[0],
      median_ms: median(runs),
      best_ms: Math.min(...runs),
      arrival_ms: median(arrivals),
      parse_ms: median(parses),
    };
  } catch (error) {
    report.error = String(error);
  }
  await call("bench_report", report).catch(() => {});
})();
