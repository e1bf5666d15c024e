export const KICK_DELAY_MS = 1500;
export const IDLE_BEAT_MS = 60_000;
export const BACKOFF_FLOOR_MS = 5000;
export const BACKOFF_CEILING_MS = 300_000;
export const RETRY_VERDICT_MS = 15_000;
export const MAINTENANCE_MS = 60_000;

/** The next failure delay: double the last one within floor and ceiling, then ±20 %. */
export function nextBackoff(previousMs: number, random: () => number = Math.random): number {
  const base = Math.min(BACKOFF_CEILING_MS, Math.max(BACKOFF_FLOOR_MS, previousMs * 2));
  return base * (0.8 + 0.4 * random());
}

/**
 * When runs happen: one pending timer at a time, never sooner than the
 * current backoff, and one run at a time (a second caller shares it).
 */
export class Scheduler {
  backoffMs = 0;
  private timer: ReturnType<typeof setTimeout> | null = null;
  private running: Promise<void> | null = null;
  private followUp = false;

  /** `onTimer` starts the scheduled run; `run` is one whole run. */
  constructor(
    private readonly onTimer: () => void,
    private readonly run: () => Promise<void>,
  ) {}

  get kickPending(): boolean {
    return this.timer !== null;
  }

  get runUnderWay(): boolean {
    return this.running !== null;
  }

  /**
   * Schedules a run after `delayMs`, or after the backoff when that is longer.
   * One due while a run is under way follows that run: the run may have read
   * the outbox before the change that asked for it.
   */
  kick(delayMs: number): void {
    this.cancel();
    this.timer = setTimeout(() => {
      this.timer = null;
      if (this.running) this.followUp = true;
      else this.onTimer();
    }, Math.max(delayMs, this.backoffMs));
  }

  cancel(): void {
    if (this.timer !== null) clearTimeout(this.timer);
    this.timer = null;
  }

  /** The run under way, or a new one. */
  once(): Promise<void> {
    if (this.running) return this.running;
    const current = this.run().finally(() => {
      if (this.running !== current) return;
      this.running = null;
      if (this.followUp) {
        this.followUp = false;
        this.kick(0);
      }
    });
    this.running = current;
    return current;
  }

  /**
   * Forgets the run under way, which goes on without writing (see the
   * engine's generation), so a new run may start; resolves when it has ended.
   */
  detach(): Promise<void> {
    const old = this.running;
    this.running = null;
    this.followUp = false;
    return old ? old.catch(() => {}) : Promise.resolve();
  }
}
