// The bridge to the host: invoke() over the window's script messages or
// serve mode's HTTP, host events, and the secret store's two calls.
export type {
  CommandArgs,
  CommandName,
  CommandResult,
  Commands,
  HostEventName,
  HostEvents,
  JsonValue,
  Row,
  SqlCell,
} from './commands';
export { bridgeKind, hasHostBridge, invoke, NO_BRIDGE, onHostEvent } from './invoke';
export { readSecret, writeSecret } from './secrets';
export { exposeTestHook, type TestHook } from './test-hook';
