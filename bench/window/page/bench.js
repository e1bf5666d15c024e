// Drives the in-window bridge the way the client does and reports the figures
// through the benchmark's own bench_report command.
(async () => {
  const bridge = window.webkit.messageHandlers.tovik;
  const call = async (cmd, args) => {
    const reply = JSON.parse(await bridge.postMessage({ cmd, args }));
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
    report.roundtrip = {
      calls,
      median_us: quantile(perCall, 0.5) * 1000,
      p99_us: quantile(perCall, 0.99) * 1000,
      calls_per_second: calls / (total / 1000),
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
    const runs = [];
    let bytes = 0;
    for (let i = 0; i < 7; i++) {
      const t = performance.now();
      const rows = await call("db_select", { sql: "SELECT * FROM big", params: [] });
      runs.push(performance.now() - t);
      if (i === 0) bytes = JSON.stringify(rows).length;
    }
    const sortedRuns = [...runs].sort((a, b) => a - b);
    report.large = {
      rows: 30000,
      json_bytes: bytes,
      first_ms: runs[0],
      median_ms: quantile(sortedRuns, 0.5),
      best_ms: sortedRuns[0],
    };
  } catch (error) {
    report.error = String(error);
  }
  await call("bench_report", report).catch(() => {});
})();
