import type { Catalogue, LocalDb } from '../../storage';

export type Fields = Record<string, unknown>;

/** A column that keeps a record's list or object as JSON text. */
export interface JsonColumn {
  column: string;
  /** The record's field that the column holds. */
  field: string;
  /** Stored when the record lacks the field. */
  fallback: unknown;
  /** Written from server records (default true). */
  adopt?: boolean;
  /** Sent to the server as the parsed field (default false: the column stays local). */
  send?: boolean;
}

/** What a verdict of the server decided about one queued operation. */
export interface Verdict {
  uuid: string;
  action: 'upsert' | 'delete';
  status: 'applied' | 'conflict' | 'rejected' | 'failed';
  reason: string | null;
}

/** What a verdict hook may do inside the verdict transaction. */
export interface VerdictContext {
  db: LocalDb;
  /**
   * Writes the merged rows of `table` that still wait, before the hook changes
   * that table directly; later records of the reply merge over the changed rows.
   */
  settle(table: string): Promise<void>;
  /**
   * Has the next pull bring every record down again, for local rows that a
   * refused change altered without an operation of their own: only the
   * server's copies can say what they should be.
   */
  refetch(): Promise<void>;
}

/**
 * How a feature teaches the engine about one kind of record. The engine
 * names no feature: everything particular to a record lives here.
 */
export interface EntityDescriptor {
  /** The entity's name in the sync protocol. */
  name: string;
  /** The local table its rows live in (a synchronised table of the catalogue). */
  table: string;
  /** Requested by the pull; push-only records are never pulled. */
  pulled: boolean;
  /** A refused change may be sent again from the sync screen. */
  resendable: boolean;
  jsonColumns?: readonly JsonColumn[];
  /** Adjusts what is sent; `base` is the record without its local bookkeeping. */
  toPayload?(data: Fields, base: Fields): Fields;
  /** The record rebuilt from its stored row (local columns), for a refused change that kept no data. */
  rebuildPayload?(row: Fields): Fields;
  /** Local consequences of a verdict, inside the verdict's transaction. */
  afterVerdict?(context: VerdictContext, verdict: Verdict): Promise<void>;
  /**
   * Local consequences of a change the server did not apply (refused or in
   * conflict), inside the verdict's transaction.
   */
  onRefused?(context: VerdictContext, verdict: Verdict): Promise<void>;
  /** Local consequences of dropping a refused change, inside that transaction. */
  onDismissed?(db: LocalDb, uuid: string): Promise<void>;
}

/** The engine's view of every entity: descriptors by name, and the catalogue their tables are in. */
export class EntityRegistry {
  private readonly byName = new Map<string, EntityDescriptor>();

  constructor(
    descriptors: readonly EntityDescriptor[],
    readonly catalogue: Catalogue,
  ) {
    for (const descriptor of descriptors) {
      if (this.byName.has(descriptor.name)) throw new Error(`entity ${descriptor.name} is declared twice`);
      catalogue.columns(descriptor.table);
      this.byName.set(descriptor.name, descriptor);
    }
  }

  has(name: unknown): name is string {
    return typeof name === 'string' && this.byName.has(name);
  }

  get(name: string): EntityDescriptor {
    const descriptor = this.byName.get(name);
    if (!descriptor) throw new Error(`unknown entity: ${name}`);
    return descriptor;
  }

  tableOf(name: string): string {
    return this.get(name).table;
  }

  columnsOf(name: string): readonly string[] {
    return this.catalogue.columns(this.tableOf(name));
  }

  /** What the pull asks for, in declaration order. */
  get pulled(): string[] {
    return [...this.byName.values()].filter((d) => d.pulled).map((d) => d.name);
  }
}
