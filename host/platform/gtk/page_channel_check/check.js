// First load: a slow call under id 1, then a reload at once. Second load: its
// own, slower call under the same id 1. The first reply the second load sees
// must be its own, never the answer the first load waited for. Then a list
// that comes in parts: whole to a page that takes parts, refused to one that
// does not (it would see only the last rows). Reports all the second load saw.
const channel = window.tovikChannel;
const ask = (id, cmd, args) => channel.post(id, JSON.stringify({ cmd, args }));
if (!channel) {
  window.webkit.messageHandlers.tovik.postMessage(JSON.stringify({ cmd: 'check_report', args: { text: 'no page channel' } }));
} else if (!location.search.includes('second')) {
  ask(1, 'check_wait', { ms: 300, tag: 'the first load' });
  location.replace('tovik://app/index.html?second');
} else {
  const seen = [];
  channel.onpart = (id, text) => seen.push(`part ${id} ${text}`);
  channel.onreply = (id, text) => {
    if (id === 2) return; // the report's own answer
    seen.push(`${id} ${text}`);
    if (id === 1) {
      ask(3, 'check_rows', {});
    } else if (id === 3) {
      channel.onpart = null;
      ask(4, 'check_rows', {});
    } else {
      ask(2, 'check_report', { text: seen.join(' | ') });
    }
  };
  ask(1, 'check_wait', { ms: 1000, tag: 'the second load' });
}
