import { failureMessage, type Transport } from './transport';

// Serve mode: the host's dispatcher behind HTTP on loopback. The page is opened
// as /?bridge=<token>; the token is kept for the tab so a reload without the
// query still reaches the host.

const TOKEN_KEY = 'tovik.bridge';

export function serveToken(): string | null {
  const fromUrl = new URLSearchParams(location.search).get('bridge');
  try {
    if (fromUrl) sessionStorage.setItem(TOKEN_KEY, fromUrl);
    return fromUrl || sessionStorage.getItem(TOKEN_KEY);
  } catch {
    // Storage can be disabled; the token in the address still works.
    return fromUrl || null;
  }
}

async function failure(cmd: string, response: Response): Promise<string> {
  if (response.status === 403) return 'the host bridge refused the call: its token is missing or wrong';
  if (response.status === 400 || response.status === 404) {
    try {
      const message: unknown = JSON.parse(await response.text());
      if (typeof message === 'string') return message;
    } catch {
      // Not the bridge's JSON string; fall through to the status.
    }
  }
  return `command ${cmd} failed with HTTP status ${response.status}`;
}

export function serveTransport(token: string): Transport {
  // One event stream per page, opened with the first listener and closed
  // after the last one leaves.
  let events: EventSource | null = null;
  let listeners = 0;

  return {
    kind: 'serve',
    async call(cmd, args) {
      let response: Response;
      try {
        response = await fetch(new URL(`/ipc/${encodeURIComponent(cmd)}`, location.origin), {
          method: 'POST',
          headers: { 'Content-Type': 'application/json', 'X-Tovik-Bridge': token },
          body: JSON.stringify(args),
          cache: 'no-store',
        });
      } catch (error) {
        throw `cannot reach the host bridge: ${failureMessage(error)}`;
      }
      if (response.status !== 200) throw await failure(cmd, response);
      try {
        return (await response.json()) as unknown;
      } catch {
        throw `malformed reply from the host to ${cmd}`;
      }
    },
    listen(event, handler) {
      events ??= new EventSource(`/events?bridge=${encodeURIComponent(token)}`);
      const source = events;
      const listener = (e: Event) => {
        let payload: unknown;
        try {
          payload = JSON.parse((e as MessageEvent<string>).data);
        } catch {
          return;
        }
        handler(payload);
      };
      source.addEventListener(event, listener);
      listeners += 1;
      let subscribed = true;
      return () => {
        if (!subscribed) return;
        subscribed = false;
        source.removeEventListener(event, listener);
        listeners -= 1;
        if (listeners === 0) {
          source.close();
          events = null;
        }
      };
    },
  };
}
