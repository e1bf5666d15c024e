import type { JsonValue, Row } from '../bridge';

/** A positional parameter, converted by the backend as the host converts it. */
export type SqlParam = JsonValue;

export interface SqlStatement {
  sql: string;
  params: SqlParam[];
}

/** Where the database lives; the facade builds everything else on these calls. */
export interface StorageBackend {
  /** Runs one statement that returns no rows. */
  run(sql: string, params: SqlParam[]): Promise<void>;
  /**
   * Runs statements that return no rows as one unit in a single call: its own
   * transaction, or a savepoint inside an open one. Without it the facade
   * runs them one by one in a transaction of its own.
   */
  runAll?(statements: SqlStatement[]): Promise<void>;
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
