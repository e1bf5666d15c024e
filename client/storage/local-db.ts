import type { Row } from '../bridge';
import type { SqlParam, StorageBackend } from './backend';

/**
 * The one way client code reaches the local database. Plain statements go
 * straight to the backend; transactions run strictly one after another in
 * call order, each under an immediate write lock.
 */
export class LocalDb {
  // Settles when the last transaction asked for has finished; never rejects.
  private tail: Promise<void> = Promise.resolve();

  constructor(private readonly backend: StorageBackend) {}

  execute(sql: string, params: SqlParam[] = []): Promise<void> {
    return this.backend.run(sql, params);
  }

  select<T extends Row = Row>(sql: string, params: SqlParam[] = []): Promise<T[]> {
    return this.backend.query(sql, params) as Promise<T[]>;
  }

  /**
   * Runs `work` between BEGIN IMMEDIATE and COMMIT and resolves with its
   * value once committed; on failure rolls back and rejects with the work's
   * error. `work` issues its statements through this LocalDb and must not
   * start another transaction: that one would wait for this one forever.
   */
  transaction<T>(work: () => Promise<T>): Promise<T> {
    const entry = this.tail.then(() => this.runTransaction(work));
    this.tail = entry.then(
      () => undefined,
      () => undefined,
    );
    return entry;
  }

  private async runTransaction<T>(work: () => Promise<T>): Promise<T> {
    await this.backend.run('BEGIN IMMEDIATE', []);
    let value: T;
    try {
      value = await work();
      await this.backend.run('COMMIT', []);
    } catch (error) {
      try {
        await this.backend.run('ROLLBACK', []);
      } catch {
        // The work's error is the one worth reporting; a rollback fails
        // mostly because SQLite already ended the transaction itself.
      }
      throw error;
    }
    // The data is committed: a failing hook must not report the
    // transaction as rolled back.
    try {
      await this.backend.afterCommit?.();
    } catch (error) {
      console.error('after-commit hook failed:', error);
    }
    return value;
  }
}
