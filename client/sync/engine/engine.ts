import { META, type LocalDb } from '../../storage';
import { MaintenanceError, UpgradeRequiredError } from '../api';
import type { EntityRegistry, Fields } from './entities';
import {
  dismissDeadLetter,
  nextOfflineReference,
  otherAccountsCount,
  removeRecord,
  retryDeadLetter,
  saveRecord,
  takeBatch,
  type Operation,
} from './outbox';
import { applyPage, pageCursor, pullPath, readCursor } from './pull';
import type { Account, SyncEngineCallbacks, SyncEngineControl, SyncPort } from './ports';
import { applyVerdicts, decidesAll, type PushResult } from './push';
import {
  IDLE_BEAT_MS,
  KICK_DELAY_MS,
  MAINTENANCE_MS,
  nextBackoff,
  RETRY_VERDICT_MS,
  Scheduler,
} from './scheduler';
import { BatchTooLargeError, http, NetworkError, SessionLostError, type Send, type TransportContext } from './transport';

export const BATCH_CEILING = 200;
/**
 * Rounds in one run that may leave operations without a result before the
 * run gives up and backs off. The operations stay queued and go again with
 * the next run, so a server that skips results delays them but loses none.
 */
export const UNANSWERED_ROUNDS = 3;
export const UNANSWERED = 'The server did not answer for every change; they will be sent again.';

/** The run was started before a sign-out: it sends, writes and reports nothing more. */
class AbandonedError extends Error {}

class MissingResultsError extends NetworkError {
  constructor() {
    super('The server sent a sync reply without results.');
  }
}

export interface SyncEngineOptions extends SyncEngineCallbacks {
  db(): Promise<LocalDb>;
  /** Every kind of record the features sync. */
  entities: EntityRegistry;
  deviceId(): Promise<string>;
  /** The transport; `apiFetch` in the program. */
  send: Send;
  online?(): boolean;
  random?(): number;
}

/**
 * Pushes the outbox to the server and pulls the server's changes. One per
 * process; created halted and started by the session.
 */
export class SyncEngine implements SyncEngineControl, SyncPort {
  halted = true;
  syncing = false;
  lastError: string | null = null;
  batch = BATCH_CEILING;
  pushed = 0;
  private started = false;
  // A sign-out moves this on; a run from an older generation writes nothing more.
  private generation = 0;
  private readonly scheduler = new Scheduler(
    () => void this.sync(),
    () => this.run(),
  );
  constructor(private readonly options: SyncEngineOptions) {}

  /**
   * The transport of one run: nothing goes out once a sign-out has begun, and
   * a refused session is only reported while the run's account is current, so
   * an old run never signs out whoever signed in after it.
   */
  private transport(generation: number): TransportContext {
    const current = () => {
      if (generation !== this.generation) throw new AbandonedError();
    };
    return {
      token: this.options.token,
      dataEpoch: this.options.dataEpoch,
      onAuthLost: (message, code) => {
        if (generation === this.generation) this.options.onAuthLost(message, code);
      },
      send: (path, init) => {
        current();
        return this.options.send(path, init);
      },
      // Checked again after the answer: an abandoned run reads nothing into the tables.
      after: current,
    };
  }

  get backoffMs(): number {
    return this.scheduler.backoffMs;
  }

  private online(): boolean {
    return this.options.online ? this.options.online() : navigator.onLine;
  }

  get entities(): EntityRegistry {
    return this.options.entities;
  }

  async save(entity: string, data: Fields, withinTransaction?: (uuid: string, db: LocalDb) => Promise<void>): Promise<string> {
    const uuid = await saveRecord(
      await this.options.db(),
      this.entities,
      entity,
      data,
      this.options.account(),
      withinTransaction,
    );
    await this.report();
    this.kick();
    return uuid;
  }

  async remove(entity: string, uuid: string): Promise<void> {
    await removeRecord(await this.options.db(), this.entities, entity, uuid, this.options.account());
    await this.report();
    this.kick();
  }

  async nextOfflineReference(prefix = 'OFF'): Promise<string> {
    return nextOfflineReference(await this.options.db(), await this.options.deviceId(), prefix);
  }

  kick(delayMs = KICK_DELAY_MS): void {
    if (!this.halted) this.scheduler.kick(delayMs);
  }

  /** Listens for the network, visibility and the idle beat; once per process. */
  start(): void {
    if (this.started) return;
    this.started = true;
    window.addEventListener('online', () => {
      this.scheduler.backoffMs = 0;
      this.kick(0);
    });
    window.addEventListener('offline', () => void this.report());
    document.addEventListener('visibilitychange', () => {
      if (document.visibilityState === 'visible') this.kick(0);
    });
    setInterval(() => {
      if (!this.scheduler.kickPending && !this.scheduler.runUnderWay) void this.sync(true);
    }, IDLE_BEAT_MS);
    this.kick(0);
  }

  /**
   * Stops scheduling; a run under way is abandoned and writes nothing more.
   * Resolves once that run has ended.
   */
  halt(): Promise<void> {
    this.halted = true;
    this.generation++;
    this.syncing = false;
    this.scheduler.cancel();
    return this.scheduler.detach();
  }

  /** A new session: its first run starts at once. */
  resume(): void {
    this.halted = false;
    if (this.started) this.kick(0);
  }

  /** One run now, or the one under way. */
  async sync(force = false): Promise<void> {
    if (this.halted) return;
    if (!this.online() && !force) {
      await this.report();
      return;
    }
    return this.scheduler.once();
  }

  async retry(opId: string): Promise<void> {
    await retryDeadLetter(await this.options.db(), this.entities, opId);
    await this.report();
    this.kick(0);
  }

  async dismiss(opId: string): Promise<void> {
    await dismissDeadLetter(await this.options.db(), this.entities, opId);
    await this.report();
  }

  async report(): Promise<void> {
    const db = await this.options.db();
    const account = this.options.account();
    // Changes made while nobody was signed in count as the next account's.
    const mine = 'company_id IS NULL OR (company_id = ? AND user_id = ?)';
    const owner = [account?.companyId ?? null, account?.userId ?? null];
    const [counts] = await db.select<{ pending: number; attention: number }>(
      `SELECT (SELECT COUNT(*) FROM outbox WHERE ${mine}) AS pending, (SELECT COUNT(*) FROM dead_letter WHERE ${mine}) AS attention`,
      [...owner, ...owner],
    );
    const [last] = await db.select<{ value: string | null }>('SELECT value FROM meta WHERE key = ?', [META.lastSyncAt]);
    this.options.onStatus({
      pending: counts?.pending ?? 0,
      attention: counts?.attention ?? 0,
      lastSyncAt: last?.value ?? undefined,
      error: this.lastError ?? undefined,
      syncing: this.syncing,
      online: this.online(),
      otherAccounts: await otherAccountsCount(db, account),
    });
  }

  private async run(): Promise<void> {
    const generation = this.generation;
    this.syncing = true;
    this.pushed = 0;
    await this.report().catch(() => {});
    try {
      const account = this.options.account();
      if (!account || !(await this.options.token())) return;
      await this.flush(generation, account);
      await this.pull(generation);
      this.scheduler.backoffMs = 0;
      this.lastError = null;
      this.batch = Math.min(BATCH_CEILING, this.batch * 2);
      if (this.pushed > 0) this.options.onPushed(this.pushed);
      await this.write(generation, (db) =>
        db.execute('INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)', [META.lastSyncAt, new Date().toISOString()]),
      );
    } catch (error) {
      if (generation === this.generation) this.failed(error);
    } finally {
      if (generation === this.generation) {
        this.syncing = false;
        this.options.onChanged();
        await this.report().catch(() => {});
      }
    }
  }

  private failed(error: unknown): void {
    if (error instanceof AbandonedError || error instanceof SessionLostError || error instanceof UpgradeRequiredError)
      return;
    if (error instanceof MaintenanceError) {
      this.kick(MAINTENANCE_MS);
      return;
    }
    if (error instanceof BatchTooLargeError || error instanceof NetworkError)
      this.batch = Math.max(1, Math.floor(this.batch / 2));
    if (this.pushed > 0) this.options.onPushed(this.pushed);
    this.lastError = error instanceof Error ? error.message : String(error);
    this.scheduler.backoffMs = nextBackoff(this.scheduler.backoffMs, this.options.random);
    this.kick(this.scheduler.backoffMs);
  }

  /** A transaction of a run, refused once a sign-out has begun. */
  private async write<T>(generation: number, work: (db: LocalDb) => Promise<T>): Promise<T> {
    const db = await this.options.db();
    return db.transaction(async (db) => {
      if (generation !== this.generation) throw new AbandonedError();
      return work(db);
    });
  }

  /**
   * Sends the account's queue in batches. While one reply's verdicts are
   * written, the batch after it is already on its way once that reply has
   * decided every operation: it was taken (and marked in flight) in the
   * previous round's transaction, stops before any record still in flight,
   * and goes out only after the server has answered the batch before it, so
   * the server still sees the queue in order.
   */
  private async flush(generation: number, account: Account): Promise<void> {
    const transport = this.transport(generation);
    const take = (d: LocalDb, behind?: Operation[]) => takeBatch(d, this.batch, account, behind);
    /** The next batch, and the one to follow it. */
    const takeTwo = async (d: LocalDb): Promise<[Operation[], Operation[]]> => {
      const next = await take(d);
      return [next, next.length ? await take(d, next) : []];
    };
    let [batch, following] = await this.write(generation, async (d) => {
      await d.execute("UPDATE outbox SET state = 'pending' WHERE state = 'inflight'");
      return takeTwo(d);
    });
    let reply = batch.length ? this.push(transport, batch) : null;
    let unansweredRounds = 0;
    while (reply) {
      const results = await reply;
      const ahead = following.length && decidesAll(batch, results) ? this.push(transport, following) : null;
      // Its failure counts once it is awaited, after these verdicts are in.
      ahead?.catch(() => {});
      const [sent, onItsWay] = [batch, following];
      const { tally, taken } = await this.write(generation, async (d) => {
        const tally = await applyVerdicts(d, this.entities, sent, results);
        const stop = tally.retry || (tally.unanswered > 0 && unansweredRounds + 1 >= UNANSWERED_ROUNDS);
        if (stop) return { tally, taken: [[], []] as [Operation[], Operation[]] };
        // Without a batch on its way, the queue is taken afresh: what was taken and not sent goes again.
        return { tally, taken: ahead ? ([onItsWay, await take(d, onItsWay)] as [Operation[], Operation[]]) : await takeTwo(d) };
      });
      this.pushed += tally.applied;
      if (tally.retry) {
        this.kick(RETRY_VERDICT_MS);
        return;
      }
      if (tally.unanswered > 0 && ++unansweredRounds >= UNANSWERED_ROUNDS) throw new Error(UNANSWERED);
      [batch, following] = taken;
      reply = ahead ?? (batch.length ? this.push(transport, batch) : null);
    }
  }

  private async push(transport: TransportContext, batch: Operation[]): Promise<PushResult[]> {
    const reply = await http(transport, 'POST', '/sync/push', {
      device_id: await this.options.deviceId(),
      device_time: new Date().toISOString(),
      operations: batch.map((op) => ({
        op_id: op.op_id,
        entity: op.entity,
        action: op.action,
        uuid: op.uuid,
        base_version: op.base_version,
        client_updated_at: op.client_updated_at,
        ...(op.action === 'delete' || op.data_json === null ? {} : { data: JSON.parse(op.data_json) as unknown }),
      })),
    });
    if (!Array.isArray(reply.results)) throw new MissingResultsError();
    return reply.results as PushResult[];
  }

  /**
   * The next page is asked for while the current one is written: the server's
   * time and ours overlap. A page is read only after the one before it is in,
   * so the cursor still moves page by page.
   */
  private async pull(generation: number): Promise<void> {
    const db = await this.options.db();
    const transport = this.transport(generation);
    const fetchPage = (cursor: string | null) => http(transport, 'GET', pullPath(this.entities, cursor));
    let page = await fetchPage(await readCursor(db));
    for (;;) {
      const ahead = page.has_more === true ? pageCursor(page) : null;
      const next = ahead === null ? null : fetchPage(ahead);
      // Its failure counts once it is awaited, after this page is in.
      next?.catch(() => {});
      const current = page;
      const tally = await this.write(generation, (d) => applyPage(d, this.entities, current));
      if (!tally.hasMore) return;
      page = await (next ?? fetchPage(await readCursor(db)));
    }
  }
}
