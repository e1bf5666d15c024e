import type { Row } from '../bridge';
import type { SqlParam, SqlStatement, StorageBackend } from './backend';

/**
 * The one way client code reaches the local database: the client's
 * connection, or the handle a transaction gives its work.
 *
 * Writes and transactions run strictly one after another in call order, so a
 * write never slips into a transaction it is no part of (it would go when
 * that one rolled back). Reads go straight; on the connection they see a
 * running transaction's changes.
 */
export interface LocalDb {
  execute(sql: string, params?: SqlParam[]): Promise<void>;
  select<T extends Row = Row>(sql: string, params?: SqlParam[]): Promise<T[]>;
  /**
   * Runs writes as one unit, like a transaction of `execute`s (a savepoint
   * on a transaction's handle), in one call to the database where it can.
   */
  batch(statements: SqlStatement[]): Promise<void>;
  /**
   * Runs `work` as one unit and resolves with its value once it is kept; on
   * failure undoes it and rejects with the work's error. `work` must issue
   * its statements through the handle it is given: this LocalDb's own writes
   * wait for the transaction to end, so from inside it they never return.
   */
  transaction<T>(work: (db: LocalDb) => Promise<T>): Promise<T>;
}

interface Bounds {
  begin: string;
  commit: string;
  rollback: string[];
}

const OUTERMOST: Bounds = { begin: 'BEGIN IMMEDIATE', commit: 'COMMIT', rollback: ['ROLLBACK'] };

// A transaction inside a transaction is a savepoint: it undoes only itself.
function savepoint(depth: number): Bounds {
  const name = `nested_${depth}`;
  return { begin: `SAVEPOINT ${name}`, commit: `RELEASE ${name}`, rollback: [`ROLLBACK TO ${name}`, `RELEASE ${name}`] };
}

class Scope implements LocalDb {
  // Settles when the last write or transaction asked for has finished; never rejects.
  private tail: Promise<void> = Promise.resolve();
  private ended = false;

  constructor(
    private readonly backend: StorageBackend,
    private readonly depth: number,
  ) {}

  execute(sql: string, params: SqlParam[] = []): Promise<void> {
    return this.inTurn(() => this.backend.run(sql, params));
  }

  select<T extends Row = Row>(sql: string, params: SqlParam[] = []): Promise<T[]> {
    if (this.ended) return Promise.reject(new TransactionEndedError());
    return this.backend.query(sql, params) as Promise<T[]>;
  }

  transaction<T>(work: (db: LocalDb) => Promise<T>): Promise<T> {
    return this.inTurn(() => this.runTransaction(work));
  }

  batch(statements: SqlStatement[]): Promise<void> {
    if (!statements.length) return this.inTurn(async () => {});
    const runAll = this.backend.runAll?.bind(this.backend);
    if (!runAll)
      return this.transaction(async (db) => {
        for (const { sql, params } of statements) await db.execute(sql, params);
      });
    return this.inTurn(async () => {
      await runAll(statements);
      if (this.depth === 0) await this.committed();
    });
  }

  /** Later statements of a finished transaction's handle are refused, not run outside it. */
  end(): void {
    this.ended = true;
  }

  private inTurn<T>(step: () => Promise<T>): Promise<T> {
    if (this.ended) return Promise.reject(new TransactionEndedError());
    const entry = this.tail.then(step);
    this.tail = entry.then(
      () => undefined,
      () => undefined,
    );
    return entry;
  }

  private async runTransaction<T>(work: (db: LocalDb) => Promise<T>): Promise<T> {
    const depth = this.depth + 1;
    const bounds = this.depth === 0 ? OUTERMOST : savepoint(depth);
    const handle = new Scope(this.backend, depth);
    await this.backend.run(bounds.begin, []);
    let value: T;
    try {
      value = await work(handle);
      handle.end();
      await this.backend.run(bounds.commit, []);
    } catch (error) {
      handle.end();
      try {
        for (const statement of bounds.rollback) await this.backend.run(statement, []);
      } catch {
        // The work's error is the one worth reporting; a rollback fails
        // mostly because SQLite already ended the transaction itself.
      }
      throw error;
    }
    if (this.depth === 0) await this.committed();
    return value;
  }

  private async committed(): Promise<void> {
    // The data is committed: a failing hook must not report the
    // transaction as rolled back.
    try {
      await this.backend.afterCommit?.();
    } catch (error) {
      console.error('after-commit hook failed:', error);
    }
  }
}

export class TransactionEndedError extends Error {
  constructor() {
    super('statement issued through a transaction that has ended');
  }
}

/** The client's connection over `backend`. */
export function connectLocalDb(backend: StorageBackend): LocalDb {
  return new Scope(backend, 0);
}
