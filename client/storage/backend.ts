import type { JsonValue, Row } from '../bridge';

/** A positional parameter, converted by the backend as the host converts it. */
export type SqlParam = JsonValue;

/** Where the database lives; the facade builds everything else on these calls. */
export interface StorageBackend {
  /** Runs one statement that returns no rows. */
  run(sql: string, params: SqlParam[]): Promise<void>;
  /** Runs one query; rows are keyed by column name. */
  query(sql: string, params: SqlParam[]): Promise<Row[]>;
  /** Called after every successful commit of a facade transaction. */
  afterCommit?: () => void | Promise<void>;
}

/** Backends reject with the database's message as a plain string. */
export function storageMessage(error: unknown): string {
  if (typeof error === 'string') return error;
  if (error instanceof Error) return error.message;
  return String(error);
}
