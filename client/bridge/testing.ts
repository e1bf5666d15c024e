import type { CommandArgs, CommandName, CommandResult, HostEventName, HostEvents, JsonValue } from './commands';
import { failureMessage } from './transport';

// An in-memory host for unit tests. It installs itself where the window's
// message handler lives, so code under test goes through the real invoke and
// its envelope. Arguments and results are copied through JSON, as the host
// copies them.

export type FakeHandler<K extends CommandName> = (
  args: CommandArgs<K>,
) => CommandResult<K> | Promise<CommandResult<K>>;
export type FakeHandlers = { [K in CommandName]?: FakeHandler<K> };

export interface FakeHost {
  /** Every call in arrival order, with its arguments as the host received them. */
  readonly calls: { cmd: string; args: JsonValue }[];
  readonly secrets: Map<string, string>;
  /** Jobs sent by printer_print_raw and printer_print_tcp. */
  readonly jobs: { target: string; data: string }[];
  emit<E extends HostEventName>(event: E, payload: HostEvents[E]): void;
  uninstall(): void;
}

export interface FakeHostOptions {
  handlers?: FakeHandlers;
  printers?: string[];
}

const REQUIRED: { [K in CommandName]: readonly string[] } = {
  db_open: [],
  db_execute: ['sql', 'params'],
  db_select: ['sql', 'params'],
  db_batch: ['statements'],
  secret_get: ['key'],
  secret_set: ['key', 'value'],
  secret_delete: ['key'],
  printer_list: [],
  printer_print_raw: ['printer', 'data'],
  printer_print_tcp: ['host', 'data'],
  printer_discover: [],
  portal_open: ['url', 'title'],
  portal_close: [],
  app_update: ['endpoint'],
};

// The credential store's limit, in UTF-16 code units.
const SECRET_LIMIT = 1280;

function isCommand(name: string): name is CommandName {
  return Object.hasOwn(REQUIRED, name);
}

export function installFakeHost(options: FakeHostOptions = {}): FakeHost {
  const secrets = new Map<string, string>();
  const jobs: FakeHost['jobs'] = [];
  const calls: FakeHost['calls'] = [];

  const defaults: FakeHandlers = {
    db_open: () => {
      throw 'the fake host has no database: pass db_* handlers';
    },
    secret_get: ({ key }) => secrets.get(key) ?? null,
    secret_set: ({ key, value }) => {
      if (value.length > SECRET_LIMIT) throw `secret ${key} is longer than ${SECRET_LIMIT} characters`;
      secrets.set(key, value);
      return null;
    },
    secret_delete: ({ key }) => {
      secrets.delete(key);
      return null;
    },
    printer_list: () => options.printers ?? [],
    printer_print_raw: ({ printer, data }) => {
      jobs.push({ target: printer, data });
      return null;
    },
    printer_print_tcp: ({ host, port, data }) => {
      jobs.push({ target: `${host}:${port ?? 9100}`, data });
      return null;
    },
    printer_discover: () => [],
    portal_open: () => null,
    portal_close: () => null,
    app_update: () => null,
  };
  const handlers: FakeHandlers = { ...defaults, ...options.handlers };

  async function run(cmd: string, args: Record<string, JsonValue>): Promise<unknown> {
    if (!isCommand(cmd)) throw `command ${cmd} not found`;
    for (const key of REQUIRED[cmd]) {
      if (args[key] === undefined || args[key] === null) throw `command ${cmd} missing required key ${key}`;
    }
    const handler = handlers[cmd] as ((a: unknown) => unknown) | undefined;
    if (!handler) throw `the fake host does not implement ${cmd}`;
    return handler(args);
  }

  const copy = <T>(value: T): T => JSON.parse(JSON.stringify(value ?? null)) as T;

  const previous = window.webkit;
  window.webkit = {
    messageHandlers: {
      tovik: {
        async postMessage(text) {
          const { cmd, args } = JSON.parse(text) as { cmd: string; args: Record<string, JsonValue> };
          const received = args;
          calls.push({ cmd, args: received });
          try {
            return JSON.stringify({ ok: true, value: await run(cmd, received) });
          } catch (error) {
            return JSON.stringify({ ok: false, error: failureMessage(error) });
          }
        },
      },
    },
  };

  return {
    calls,
    secrets,
    jobs,
    emit(event, payload) {
      window.dispatchEvent(new CustomEvent(event, { detail: copy(payload) }));
    },
    uninstall() {
      window.webkit = previous;
    },
  };
}
