import { failureMessage, type Transport } from './transport';

// Two ways into the host from its window. The page channel (a socket the host
// hands to the web process) is the fast one; WebKit's script message handler
// with reply is there when the channel's module is not. Both carry the message
// as JSON text and bring back the host's envelope as JSON text: text crosses
// between the processes far faster than an object tree.
interface ScriptMessageHandler {
  postMessage(message: string): Promise<unknown> | undefined;
}

export interface PageChannel {
  post(id: number, text: string): void;
  // Leading rows of a list result (JSON array text), ahead of its reply.
  onpart?: ((id: number, text: string) => void) | null;
  onreply?: ((id: number, text: string) => void) | null;
}

declare global {
  interface Window {
    webkit?: { messageHandlers?: { tovik?: ScriptMessageHandler } };
    tovikChannel?: PageChannel;
  }
}

type Envelope = { ok: true; value?: unknown } | { ok: false; error: string };

function isEnvelope(reply: unknown): reply is Envelope {
  if (typeof reply !== 'object' || reply === null) return false;
  const r = reply as Record<string, unknown>;
  return r.ok === true || (r.ok === false && typeof r.error === 'string');
}

// The command's result, or a throw of its failure message.
function opened(cmd: string, reply: unknown): unknown {
  if (typeof reply === 'string') {
    try {
      reply = JSON.parse(reply);
    } catch {
      throw `malformed reply from the host to ${cmd}`;
    }
  }
  if (!isEnvelope(reply)) throw `malformed reply from the host to ${cmd}`;
  if (!reply.ok) throw reply.error;
  return reply.value ?? null;
}

// The host dispatches each event as a CustomEvent on window.
function listenOnWindow(event: string, handler: (payload: unknown) => void): () => void {
  const listener = (e: Event) => handler((e as CustomEvent<unknown>).detail);
  window.addEventListener(event, listener);
  return () => window.removeEventListener(event, listener);
}

export function windowHandler(): ScriptMessageHandler | null {
  const handler = window.webkit?.messageHandlers?.tovik;
  return handler && typeof handler.postMessage === 'function' ? handler : null;
}

export function windowTransport(handler: ScriptMessageHandler): Transport {
  return {
    kind: 'window',
    async call(cmd, args) {
      let reply: unknown;
      try {
        reply = await handler.postMessage(JSON.stringify({ cmd, args }));
      } catch (error) {
        throw failureMessage(error);
      }
      return opened(cmd, reply);
    },
    listen: listenOnWindow,
  };
}

export function pageChannel(): PageChannel | null {
  const channel = window.tovikChannel;
  return channel && typeof channel.post === 'function' ? channel : null;
}

interface ChannelCall {
  cmd: string;
  resolve: (value: unknown) => void;
  reject: (error: string) => void;
  // Rows that came ahead of the reply; null once one part was not a list.
  parts: unknown[][] | null;
}

// A list result's rows: the parts' in order, then the reply's own.
function joined(cmd: string, parts: unknown[][] | null, value: unknown): unknown {
  if (parts === null || (parts.length > 0 && !Array.isArray(value))) throw `malformed reply from the host to ${cmd}`;
  return parts.length > 0 ? ([] as unknown[]).concat(...parts, value as unknown[]) : value;
}

// Replies come back by call id, in whatever order the host finishes them. A
// long list comes in parts, each parsed as it arrives while the host reads the
// next; a call that fails after some parts fails whole.
export function channelTransport(channel: PageChannel): Transport {
  const waiting = new Map<number, ChannelCall>();
  let lastId = 0;
  channel.onpart = (id, text) => {
    const call = waiting.get(id);
    if (!call || call.parts === null) return;
    let rows: unknown;
    try {
      rows = JSON.parse(text);
    } catch {
      rows = null;
    }
    if (Array.isArray(rows)) call.parts.push(rows);
    else call.parts = null;
  };
  channel.onreply = (id, text) => {
    const call = waiting.get(id);
    if (!call) return; // an answer for a page that has since reloaded
    waiting.delete(id);
    try {
      call.resolve(joined(call.cmd, call.parts, opened(call.cmd, text)));
    } catch (error) {
      call.reject(failureMessage(error));
    }
  };
  return {
    kind: 'window',
    call(cmd, args) {
      return new Promise((resolve, reject) => {
        lastId = lastId === 0xffffffff ? 1 : lastId + 1;
        const id = lastId;
        try {
          const text = JSON.stringify({ cmd, args });
          waiting.set(id, { cmd, resolve, reject, parts: [] });
          channel.post(id, text);
        } catch (error) {
          waiting.delete(id);
          reject(failureMessage(error));
        }
      });
    },
    listen: listenOnWindow,
  };
}
