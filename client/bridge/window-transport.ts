import { failureMessage, type Transport } from './transport';

// WebKit's script message handler with reply: the page posts its message as
// JSON text and the promise brings the host's envelope as JSON text (text
// crosses between the processes far faster than an object tree).
interface ScriptMessageHandler {
  postMessage(message: string): Promise<unknown> | undefined;
}

declare global {
  interface Window {
    webkit?: { messageHandlers?: { tovik?: ScriptMessageHandler } };
  }
}

type Envelope = { ok: true; value?: unknown } | { ok: false; error: string };

function isEnvelope(reply: unknown): reply is Envelope {
  if (typeof reply !== 'object' || reply === null) return false;
  const r = reply as Record<string, unknown>;
  return r.ok === true || (r.ok === false && typeof r.error === 'string');
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
    },
    listen(event, handler) {
      // The host dispatches each event as a CustomEvent on window.
      const listener = (e: Event) => handler((e as CustomEvent<unknown>).detail);
      window.addEventListener(event, listener);
      return () => window.removeEventListener(event, listener);
    },
  };
}
