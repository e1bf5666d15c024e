// First load: a slow call under id 1, then a reload at once. Second load: its
// own, slower call under the same id 1. The first reply the second load sees
// is reported; it must be its own, never the answer the first load waited for.
const channel = window.tovikChannel;
const ask = (id, cmd, args) => channel.post(id, JSON.stringify({ cmd, args }));
if (!channel) {
  window.webkit.messageHandlers.tovik.postMessage(JSON.stringify({ cmd: 'check_report', args: { text: 'no page channel' } }));
} else if (!location.search.includes('second')) {
  ask(1, 'check_wait', { ms: 300, tag: 'the first load' });
  location.replace('tovik://app/index.html?second');
} else {
  channel.onreply = (id, text) => ask(2, 'check_report', { text: `${id} ${text}` });
  ask(1, 'check_wait', { ms: 1000, tag: 'the second load' });
}
