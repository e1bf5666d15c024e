// The host's command table as the client sees it: every command's arguments
// and result. The host decodes the same names; keep the two in step.

export type JsonValue = null | boolean | number | string | JsonValue[] | { [key: string]: JsonValue };

/** A result cell: the host turns BLOBs, NaN and infinities into null. */
export type SqlCell = null | number | string;
export type Row = Record<string, SqlCell>;

type NoArgs = Record<string, never>;

interface Sql {
  sql: string;
  /** Bound by position to the "?" placeholders. */
  params: JsonValue[];
}

export interface Commands {
  db_open: { args: NoArgs; result: null };
  db_execute: { args: Sql; result: null };
  db_select: { args: Sql; result: Row[] };
  /** Statements that return no rows, run as one unit (a savepoint inside an open transaction). */
  db_batch: { args: { statements: Sql[] }; result: null };
  secret_get: { args: { key: string }; result: string | null };
  secret_set: { args: { key: string; value: string }; result: null };
  secret_delete: { args: { key: string }; result: null };
  printer_list: { args: NoArgs; result: string[] };
  /** `data` is Base64 of the raw printer bytes. */
  printer_print_raw: { args: { printer: string; data: string }; result: null };
  printer_print_tcp: { args: { host: string; port?: number | null; data: string }; result: null };
  printer_discover: { args: { port?: number | null }; result: string[] };
  portal_open: { args: { url: string; title: string }; result: null };
  portal_close: { args: NoArgs; result: null };
  /** Resolves only when there is no newer build; otherwise the host installs and restarts. */
  app_update: { args: { endpoint: string }; result: null };
}

export type CommandName = keyof Commands;
export type CommandArgs<K extends CommandName> = Commands[K]['args'];
export type CommandResult<K extends CommandName> = Commands[K]['result'];

/** Arguments may be left out when the command has no required ones. */
export type ArgsParam<K extends CommandName> =
  Record<string, never> extends CommandArgs<K> ? [args?: CommandArgs<K>] : [args: CommandArgs<K>];

/** Events the host sends to the page, with their payloads. */
export interface HostEvents {
  /** Bytes downloaded so far, and the total or null when the server sent no length. */
  'update-progress': [downloaded: number, total: number | null];
}

export type HostEventName = keyof HostEvents;
