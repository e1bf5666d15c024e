import type { ArgsParam, CommandName, CommandResult, HostEventName, HostEvents } from './commands';
import { serveToken, serveTransport } from './serve-transport';
import type { Transport } from './transport';
import {
  channelTransport,
  type PageChannel,
  pageChannel,
  windowHandler,
  windowTransport,
} from './window-transport';

export const NO_BRIDGE = 'the host command bridge is not available in this page';

let serve: { token: string; transport: Transport } | null = null;
let channel: { object: PageChannel; transport: Transport } | null = null;

// Chosen on every call, so a page always uses the transport that is present:
// the window's page channel first, its message handler next, then serve
// mode's token.
function currentTransport(): Transport | null {
  const object = pageChannel();
  if (object) {
    if (channel?.object !== object) channel = { object, transport: channelTransport(object) };
    return channel.transport;
  }
  const handler = windowHandler();
  if (handler) return windowTransport(handler);
  const token = serveToken();
  if (!token) return null;
  if (serve?.token !== token) serve = { token, transport: serveTransport(token) };
  return serve.transport;
}

export function bridgeKind(): Transport['kind'] | null {
  return currentTransport()?.kind ?? null;
}

export function hasHostBridge(): boolean {
  return currentTransport() !== null;
}

/** Calls a host command. Rejects with the failure message as a plain string. */
export async function invoke<K extends CommandName>(cmd: K, ...[args]: ArgsParam<K>): Promise<CommandResult<K>> {
  const transport = currentTransport();
  if (!transport) throw NO_BRIDGE;
  return (await transport.call(cmd, args ?? {})) as CommandResult<K>;
}

/** Listens for a host event; returns the function that stops listening. */
export function onHostEvent<E extends HostEventName>(
  event: E,
  handler: (payload: HostEvents[E]) => void,
): () => void {
  const transport = currentTransport();
  // Without a host nothing will ever be sent.
  if (!transport) return () => {};
  return transport.listen(event, (payload) => handler(payload as HostEvents[E]));
}
