import initSqlJs, { type BindParams, type Database, type SqlValue, type Statement } from 'sql.js';
import type { Row, SqlCell } from '../bridge';
import type { SqlParam, StorageBackend } from './backend';

// SQLite compiled to WebAssembly, in memory. It backs the browser-only
// development build (with its image kept in local storage) and the unit tests.
// Values, rows and messages follow the host's database commands, so code that
// passes here behaves the same over the host.

export interface SqlJsOptions {
  /** Where the page fetches the WebAssembly file from (browser). */
  wasmUrl?: string;
  /** A database image to start from. */
  image?: Uint8Array | null;
  /** Called with the whole image after every change that is not inside a transaction. */
  save?: (image: Uint8Array) => void;
}

const RETURNED_ROWS = 'Execute returned results - did you mean to call query?';
const MULTIPLE = 'Multiple statements provided';
const INT32_MAX = 2 ** 31 - 1;

// The host binds whole numbers as 64-bit integers; sql.js binds a number as
// an integer only when it fits 32 bits, so wider ones go in as BigInt.
function bindable(value: SqlParam): SqlValue | bigint {
  if (value === null) return null;
  if (typeof value === 'boolean') return value ? 1 : 0;
  if (typeof value === 'number') {
    return Number.isSafeInteger(value) && Math.abs(value) > INT32_MAX ? BigInt(value) : value;
  }
  if (typeof value === 'string') return value;
  return JSON.stringify(value);
}

function cell(value: SqlValue): SqlCell {
  if (value === null || typeof value === 'string') return value;
  if (typeof value === 'number') return Number.isFinite(value) ? value : null;
  return null; // BLOB
}

// The host's row objects: keys in byte-wise order of their UTF-8 names, and
// the later of two columns with one name wins. Worked out once per query as
// pairs of name and column index.
function rowShape(columns: string[]): [string, number][] {
  const last = new Map<string, number>();
  columns.forEach((name, i) => last.set(name, i));
  const bytes = (name: string) => new TextEncoder().encode(name);
  return [...last.entries()].sort(([a], [b]) => compareBytes(bytes(a), bytes(b)));
}

function compareBytes(a: Uint8Array, b: Uint8Array): number {
  for (let i = 0; i < Math.min(a.length, b.length); i++) {
    const d = (a[i] ?? 0) - (b[i] ?? 0);
    if (d !== 0) return d;
  }
  return a.length - b.length;
}

// Whether the statement opens or closes a transaction.
function transactionEffect(sql: string): 'begin' | 'end' | null {
  const text = sql.trimStart().toUpperCase();
  if (/^BEGIN\b/.test(text)) return 'begin';
  if (/^(COMMIT|END)\b/.test(text)) return 'end';
  // ROLLBACK TO a savepoint leaves the transaction open.
  if (/^ROLLBACK\b/.test(text) && !/^ROLLBACK\s+(TRANSACTION\s+)?TO\b/.test(text)) return 'end';
  return null;
}

export async function createSqlJsBackend(options: SqlJsOptions = {}): Promise<StorageBackend> {
  const { wasmUrl } = options;
  // Without an address (tests under Node) sql.js finds its file itself.
  const SQL = await initSqlJs(wasmUrl ? { locateFile: () => wasmUrl } : {});
  const db: Database = new SQL.Database(options.image ?? undefined);
  db.run('PRAGMA foreign_keys = ON');
  let inTransaction = false;

  // Null for a text without a statement (blank or comments only).
  function single(sql: string, params: SqlParam[]): Statement | null {
    const statements = db.iterateStatements(sql);
    const first = statements.next();
    if (first.done) return null;
    const stmt = first.value;
    try {
      // Advancing the iterator would close the first statement: look at the
      // rest of the text with a second one.
      const extra = db.iterateStatements(statements.getRemainingSQL()).next();
      if (!extra.done) {
        extra.value.free();
        throw new Error(MULTIPLE);
      }
      stmt.bind(params.map(bindable) as BindParams);
    } catch (error) {
      stmt.free();
      throw error;
    }
    return stmt;
  }

  function persist(): void {
    if (!options.save || inTransaction) return;
    options.save(db.export());
  }

  function failed(error: unknown): string {
    return error instanceof Error ? error.message : String(error);
  }

  return {
    async run(sql, params) {
      try {
        const stmt = single(sql, params);
        try {
          if (stmt?.step()) throw new Error(RETURNED_ROWS);
        } finally {
          stmt?.free();
        }
      } catch (error) {
        throw failed(error);
      }
      const effect = transactionEffect(sql);
      if (effect === 'begin') inTransaction = true;
      if (effect === 'end') inTransaction = false;
      persist();
    },
    async query(sql, params) {
      try {
        const stmt = single(sql, params);
        if (!stmt) return [];
        try {
          const rows: Row[] = [];
          const shape = rowShape(stmt.getColumnNames());
          while (stmt.step()) {
            const values = stmt.get();
            const row: Row = {};
            for (const [name, i] of shape) row[name] = cell(values[i] ?? null);
            rows.push(row);
          }
          return rows;
        } finally {
          stmt.free();
        }
      } catch (error) {
        throw failed(error);
      }
    },
  };
}
