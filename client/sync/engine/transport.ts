import { jsonBody } from '../api';

/** Sends one request to the server; `apiFetch` in the program, a script in tests. */
export type Send = (path: string, init: RequestInit & { headers: Record<string, string> }) => Promise<Response>;

/** The session is gone (no token, or the server said 401): no retry. */
export class SessionLostError extends Error {
  constructor() {
    super('session lost');
    this.name = 'SessionLostError';
  }
}

export const BATCH_TOO_LARGE = 'The server refused a large sync batch; retrying in smaller parts.';

export class BatchTooLargeError extends Error {
  constructor() {
    super(BATCH_TOO_LARGE);
    this.name = 'BatchTooLargeError';
  }
}

/** The request never got an answer. */
export class NetworkError extends Error {
  constructor(message: string) {
    super(message);
    this.name = 'NetworkError';
  }
}

/** The server answered with a failure status. */
export class ServerError extends Error {
  constructor(message: string) {
    super(message);
    this.name = 'ServerError';
  }
}

export interface TransportContext {
  token(): Promise<string | null>;
  dataEpoch(): Promise<string | number | null>;
  onAuthLost(message?: string, code?: string): void;
  send: Send;
  /** Runs when an answer arrives, before it is read; may throw to drop it. */
  after?(): void;
}

/** One call of the sync protocol, its failures sorted into the kinds the run cares about. */
export async function http(
  ctx: TransportContext,
  method: 'GET' | 'POST',
  path: string,
  body?: unknown,
): Promise<Record<string, unknown>> {
  if (!(await ctx.token())) {
    ctx.onAuthLost();
    throw new SessionLostError();
  }
  const headers: Record<string, string> = {};
  const epoch = await ctx.dataEpoch();
  if (epoch !== null && epoch !== undefined) headers['X-Data-Epoch'] = String(epoch);
  let reply: Response;
  try {
    reply = await ctx.send(path, { method, headers, body: body === undefined ? undefined : JSON.stringify(body) });
  } catch (error) {
    if (error instanceof TypeError) throw new NetworkError(error.message || 'network failure');
    throw error;
  }
  ctx.after?.();
  if (reply.status === 401) {
    const answer = await jsonBody(reply);
    const code = typeof answer.error_code === 'string' ? answer.error_code : undefined;
    ctx.onAuthLost(code && typeof answer.message === 'string' ? answer.message : undefined, code);
    throw new SessionLostError();
  }
  if (reply.status === 413) throw new BatchTooLargeError();
  const answer = await jsonBody(reply);
  if (!reply.ok) throw new ServerError(typeof answer.message === 'string' ? answer.message : `HTTP ${reply.status}`);
  return answer;
}
