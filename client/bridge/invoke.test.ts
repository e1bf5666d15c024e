import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest';
import { bridgeKind, hasHostBridge, invoke, NO_BRIDGE, onHostEvent } from './index';
import type { PageChannel } from './window-transport';

function openPageAt(path: string) {
  history.replaceState(null, '', path);
}

function installHandler(postMessage: (message: unknown) => unknown) {
  const spy = vi.fn(postMessage);
  window.webkit = { messageHandlers: { tovik: { postMessage: spy as never } } };
  return spy;
}

// A page channel as the web-process module gives it: requests by id, replies
// by id whenever the test sends them.
function installChannel() {
  const posts: Array<{ id: number; text: string }> = [];
  const channel: PageChannel = { post: (id, text) => posts.push({ id, text }) };
  window.tovikChannel = channel;
  return {
    posts,
    part: (id: number, text: string) => channel.onpart?.(id, text),
    reply: (id: number, text: string) => channel.onreply?.(id, text),
  };
}

function stubFetch(reply: () => Response | Promise<Response>) {
  const spy = vi.fn(async (_url: URL | string, _init?: RequestInit) => reply());
  vi.stubGlobal('fetch', spy);
  return spy;
}

beforeEach(() => {
  sessionStorage.clear();
  openPageAt('/');
  delete window.webkit;
  delete window.tovikChannel;
});

afterEach(() => {
  vi.unstubAllGlobals();
});

describe('transport selection', () => {
  it('has no bridge in a plain page and rejects with a string', async () => {
    expect(hasHostBridge()).toBe(false);
    expect(bridgeKind()).toBeNull();
    await expect(invoke('db_open')).rejects.toBe(NO_BRIDGE);
    expect(onHostEvent('update-progress', () => {})).toBeTypeOf('function');
  });

  it('prefers the window message handler over a serve token', async () => {
    openPageAt('/?bridge=abc');
    const fetchSpy = stubFetch(() => new Response('null'));
    const post = installHandler(async () => ({ ok: true, value: null }));
    expect(bridgeKind()).toBe('window');
    await invoke('db_open');
    expect(post).toHaveBeenCalledWith(JSON.stringify({ cmd: 'db_open', args: {} }));
    expect(fetchSpy).not.toHaveBeenCalled();
  });

  it('keeps the serve token across a reload without the query, and takes a new one', async () => {
    const fetchSpy = stubFetch(() => new Response('null'));
    openPageAt('/?bridge=first');
    expect(bridgeKind()).toBe('serve');
    openPageAt('/');
    await invoke('portal_close');
    openPageAt('/?bridge=second');
    await invoke('portal_close');
    const tokens = fetchSpy.mock.calls.map(([, init]) => new Headers(init?.headers).get('X-Tovik-Bridge'));
    expect(tokens).toEqual(['first', 'second']);
  });
});

describe('page channel', () => {
  it('is preferred over the message handler and matches replies by id, in any order', async () => {
    const post = installHandler(async () => ({ ok: true, value: null }));
    const { posts, reply } = installChannel();
    expect(bridgeKind()).toBe('window');
    const first = invoke('db_select', { sql: 'SELECT 1 AS a', params: [] });
    const second = invoke('db_open');
    expect(posts.map((p) => JSON.parse(p.text))).toEqual([
      { cmd: 'db_select', args: { sql: 'SELECT 1 AS a', params: [] } },
      { cmd: 'db_open', args: {} },
    ]);
    const [a, b] = posts;
    reply(b!.id, '{"ok":false,"error":"database is not open"}');
    reply(a!.id + 1000, '{"ok":true,"value":"not ours"}'); // a reloaded page's answer
    reply(a!.id, '{"ok":true,"value":[{"a":1}]}');
    await expect(first).resolves.toEqual([{ a: 1 }]);
    await expect(second).rejects.toBe('database is not open');
    expect(post).not.toHaveBeenCalled();
  });

  it.each([
    [
      'joins the parts of a list, in order, before the reply\'s own rows',
      ['[{"a":1},{"a":2}]', '[{"a":3}]'],
      '{"ok":true,"value":[{"a":4}]}',
      { resolves: [{ a: 1 }, { a: 2 }, { a: 3 }, { a: 4 }] },
    ],
    ['takes an empty last part', ['[{"a":1}]'], '{"ok":true,"value":[]}', { resolves: [{ a: 1 }] }],
    [
      'fails whole when the command fails after some parts',
      ['[{"a":1}]'],
      '{"ok":false,"error":"the result is too large"}',
      { rejects: 'the result is too large' },
    ],
    [
      'refuses a part that is not a list',
      ['[{"a":1}]', '{"a":2}', '[{"a":3}]'],
      '{"ok":true,"value":[]}',
      { rejects: 'malformed reply from the host to db_select' },
    ],
    [
      'refuses parts before a reply that is not a list',
      ['[{"a":1}]'],
      '{"ok":true,"value":7}',
      { rejects: 'malformed reply from the host to db_select' },
    ],
  ])('%s', async (_name, parts, last, outcome) => {
    const { posts, part, reply } = installChannel();
    const call = invoke('db_select', { sql: 'SELECT a FROM t', params: [] });
    const other = invoke('db_select', { sql: 'SELECT 1 AS a', params: [] });
    const [mine, theirs] = posts;
    for (const text of parts) {
      part(mine!.id, text);
      part(theirs!.id + 1000, '[{"a":"not ours"}]');
    }
    reply(theirs!.id, '{"ok":true,"value":[{"a":1}]}');
    reply(mine!.id, last);
    if ('resolves' in outcome) await expect(call).resolves.toEqual(outcome.resolves);
    else await expect(call).rejects.toBe(outcome.rejects);
    await expect(other).resolves.toEqual([{ a: 1 }]); // parts never cross calls
  });

  it('refuses arguments that have no JSON form without posting them', async () => {
    const { posts } = installChannel();
    await expect(invoke('db_execute', { sql: 'SELECT ?', params: [1n as never] })).rejects.toMatch(/BigInt/);
    expect(posts).toEqual([]);
  });
});

describe.each([
  ['script messages', (reply: unknown) => installHandler(async () => reply)],
  [
    'the page channel',
    (reply: unknown) => {
      const channel = installChannel();
      window.tovikChannel!.post = (id) => queueMicrotask(() => channel.reply(id, reply as string));
    },
  ],
])('window envelope over %s', (_way, answerWith) => {
  it.each([
    ['a value', '{"ok":true,"value":[{"a":1}]}', { resolves: [{ a: 1 }] }],
    ['a null result', '{"ok":true,"value":null}', { resolves: null }],
    ['a failure', '{"ok":false,"error":"database is not open"}', { rejects: 'database is not open' }],
    ['an envelope as an object', { ok: true, value: 7 }, { resolves: 7 }],
    ['no envelope', undefined, { rejects: 'malformed reply from the host to db_select' }],
    ['text that is not JSON', '{"ok":tru', { rejects: 'malformed reply from the host to db_select' }],
    ['a failure without message', '{"ok":false}', { rejects: 'malformed reply from the host to db_select' }],
  ])('%s', async (_name, reply, outcome) => {
    answerWith(reply);
    const call = invoke('db_select', { sql: 'SELECT 1 AS a', params: [] });
    if ('resolves' in outcome) await expect(call).resolves.toEqual(outcome.resolves);
    else await expect(call).rejects.toBe(outcome.rejects);
  });

});

it('turns a thrown message handler error into its message string', async () => {
  installHandler(() => Promise.reject(new Error('handler gone')));
  await expect(invoke('printer_list')).rejects.toBe('handler gone');
});

describe('serve mode', () => {
  beforeEach(() => openPageAt('/?bridge=tok'));

  it('posts the arguments as JSON to /ipc/<command> with the token', async () => {
    const fetchSpy = stubFetch(() => new Response('[{"n":1}]', { status: 200 }));
    const args = { sql: 'SELECT ? AS n', params: [1] };
    await expect(invoke('db_select', args)).resolves.toEqual([{ n: 1 }]);
    const [url, init] = fetchSpy.mock.calls[0]!;
    expect(String(url)).toBe(`${location.origin}/ipc/db_select`);
    expect(init?.method).toBe('POST');
    expect(new Headers(init?.headers).get('X-Tovik-Bridge')).toBe('tok');
    expect(JSON.parse(String(init?.body))).toEqual(args);
  });

  it.each([
    [200, 'null', { resolves: null }],
    [200, 'not json', { rejects: 'malformed reply from the host to db_open' }],
    [400, '"command db_open failed"', { rejects: 'command db_open failed' }],
    [404, '"command db_open not found"', { rejects: 'command db_open not found' }],
    [400, 'Bad Request', { rejects: 'command db_open failed with HTTP status 400' }],
    [403, '', { rejects: 'the host bridge refused the call: its token is missing or wrong' }],
    [413, '', { rejects: 'command db_open failed with HTTP status 413' }],
    [500, '"oops"', { rejects: 'command db_open failed with HTTP status 500' }],
  ])('status %i with body %s', async (status, body, outcome) => {
    stubFetch(() => new Response(body, { status }));
    const call = invoke('db_open');
    if ('resolves' in outcome) await expect(call).resolves.toEqual(outcome.resolves);
    else await expect(call).rejects.toBe(outcome.rejects);
  });

  it('reports an unreachable host as a string', async () => {
    stubFetch(() => Promise.reject(new TypeError('Failed to fetch')));
    await expect(invoke('db_open')).rejects.toBe('cannot reach the host bridge: Failed to fetch');
  });
});

describe('host events', () => {
  it('delivers the window CustomEvent detail until unsubscribed', () => {
    installHandler(async () => ({ ok: true, value: null }));
    const seen: unknown[] = [];
    const stop = onHostEvent('update-progress', (p) => seen.push(p));
    window.dispatchEvent(new CustomEvent('update-progress', { detail: [10, 100] }));
    stop();
    window.dispatchEvent(new CustomEvent('update-progress', { detail: [20, 100] }));
    expect(seen).toEqual([[10, 100]]);
  });

  it('shares one event stream in serve mode and closes it after the last listener', () => {
    class FakeEventSource extends EventTarget {
      static opened: FakeEventSource[] = [];
      closed = false;
      constructor(readonly url: string) {
        super();
        FakeEventSource.opened.push(this);
      }
      close() {
        this.closed = true;
      }
    }
    vi.stubGlobal('EventSource', FakeEventSource);
    openPageAt('/?bridge=ev');

    const first: unknown[] = [];
    const second: unknown[] = [];
    const stopFirst = onHostEvent('update-progress', (p) => first.push(p));
    const stopSecond = onHostEvent('update-progress', (p) => second.push(p));
    expect(FakeEventSource.opened.map((s) => s.url)).toEqual(['/events?bridge=ev']);
    const source = FakeEventSource.opened[0]!;

    source.dispatchEvent(new MessageEvent('update-progress', { data: '[5,null]' }));
    stopFirst();
    stopFirst();
    expect(source.closed).toBe(false);
    source.dispatchEvent(new MessageEvent('update-progress', { data: '[9,null]' }));
    stopSecond();

    expect(first).toEqual([[5, null]]);
    expect(second).toEqual([[5, null], [9, null]]);
    expect(source.closed).toBe(true);
  });
});
