// Drives the in-window bridge the way the client does (messages as JSON text,
// replies as envelope text) over both ways in: the page channel and WebKit's
// script messages. Reports the figures through the bench's bench_report command.
(async () => {
  const messages = window.webkit.messageHandlers.tovik;
  const viaMessages = (text) => messages.postMessage(text);
  const channel = window.tovikChannel;
  // A list result may come in parts (arrays of its leading rows) before its
  // reply: each is parsed on arrival, while the host writes the next, as the
  // client does. A call resolves with its envelope text and the parsed parts.
  const waiting = new Map();
  let lastId = 0;
  if (channel) {
    channel.onpart = (id, text) => waiting.get(id).parts.push(JSON.parse(text));
    channel.onreply = (id, text) => { const call = waiting.get(id); waiting.delete(id); call.resolve({ text, parts: call.parts }); };
  }
  const viaChannelParts = (text) =>
    new Promise((resolve) => { const id = ++lastId; waiting.set(id, { resolve, parts: [] }); channel.post(id, text); });
  const viaChannel = channel ? async (text) => (await viaChannelParts(text)).text : viaMessages;
  const call = async (send, cmd, args) => {
    const reply = JSON.parse(await send(JSON.stringify({ cmd, args })));
    if (!reply.ok) throw new Error(reply.error);
    return reply.value;
  };
  const quantile = (sorted, q) => sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))];
  const median = (values) => quantile([...values].sort((a, b) => a - b), 0.5);

  // The page's clock ticks in whole milliseconds here, so calls are timed in
  // batches of 100 and each batch gives one per-call figure.
  const perCall = async (calls, once) => {
    const batch = 100;
    const figures = new Float64Array(calls / batch);
    const started = performance.now();
    for (let b = 0; b < figures.length; b++) {
      const t = performance.now();
      for (let i = 0; i < batch; i++) await once();
      figures[b] = ((performance.now() - t) / batch) * 1000;
    }
    const total = performance.now() - started;
    figures.sort();
    return { median_us: quantile(figures, 0.5), p99_us: quantile(figures, 0.99), per_second: calls / (total / 1000) };
  };

  // Each run split into the reply's arrival (host work, the crossing, and the
  // parse of the parts that came ahead of it) and the page's parse of the
  // reply and the join of the rows.
  const large = async (send) => {
    const runs = [], arrivals = [], parses = [];
    let bytes = 0, partCount = 0;
    for (let i = 0; i < 7; i++) {
      const t = performance.now();
      const sent = await send(JSON.stringify({ cmd: "db_select", args: { sql: "SELECT * FROM big", params: [] } }));
      const { text, parts } = typeof sent === "string" ? { text: sent, parts: [] } : sent;
      const arrived = performance.now();
      const reply = JSON.parse(text);
      if (!reply.ok) throw new Error(reply.error);
      if (parts.length > 0) reply.value = [].concat(...parts, reply.value);
      if (reply.value.length !== 30000) throw new Error(`${reply.value.length} rows of 30000 arrived`);
      const done = performance.now();
      runs.push(done - t);
      arrivals.push(arrived - t);
      parses.push(done - arrived);
      if (i === 0) { bytes = JSON.stringify(reply.value).length; partCount = parts.length; }
    }
    return { json_bytes: bytes, parts: partCount, first_ms: runs[0], median_ms: median(runs), best_ms: Math.min(...runs),
             arrival_ms: median(arrivals), parse_ms: median(parses) };
  };

  const report = { channel: Boolean(channel) };
  try {
    await call(viaChannel, "db_open", {});
    const select1 = JSON.stringify({ cmd: "db_select", args: { sql: "SELECT 1", params: [] } });
    const selectOne = async (send) => {
      const reply = JSON.parse(await send(select1));
      if (!reply.ok) throw new Error(reply.error);
    };
    for (let i = 0; i < 500; i++) await selectOne(viaChannel);
    report.roundtrip = { calls: 10000, ...(await perCall(10000, () => selectOne(viaChannel))) };
    // Beside it, the same call over script messages, and the web view's own
    // floor there: a message to a command that does nothing, its reply unread.
    report.roundtrip.messages_median_us = (await perCall(2000, () => selectOne(viaMessages))).median_us;
    const nothing = JSON.stringify({ cmd: "bench_nothing", args: {} });
    report.roundtrip.floor_median_us = (await perCall(2000, () => viaMessages(nothing))).median_us;

    // About 3 MB of JSON: the same table the serve-mode benchmark uses.
    await call(viaChannel, "db_execute", {
      sql: "CREATE TABLE big (id INTEGER PRIMARY KEY, name TEXT, price REAL, qty INTEGER, note TEXT, code TEXT)",
      params: [],
    });
    await call(viaChannel, "db_execute", {
      sql:
        "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 30000) " +
        "INSERT INTO big SELECT x, 'product ' || x, x * 1.25, x % 97, 'a note of some length for row ' || x, " +
        "printf('%08d', x) FROM n",
      params: [],
    });
    report.large = { rows: 30000, ...(await large(channel ? viaChannelParts : viaMessages)) };
    report.large.messages_median_ms = (await large(viaMessages)).median_ms;
  } catch (error) {
    report.error = String(error);
  }
  await call(viaMessages, "bench_report", report).catch(() => {});
})();
