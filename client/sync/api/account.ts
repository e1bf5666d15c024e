import { writeSecret } from '../../bridge';
import { apiFetch, jsonBody, MaintenanceError, UpgradeRequiredError } from './api-fetch';
import { deviceName } from './device';
import { META, writeMeta } from '../../storage';

export type Profile = Record<string, unknown>;

/** The server asks for a second factor before it signs the user in. */
export interface OtpChallenge {
  otpRequired: true;
  challenge: string;
  message: string;
}

/** The account call never got an answer: the network or the address failed, not the server. */
export class ServerUnreachableError extends Error {
  constructor() {
    super('Cannot reach the server');
    this.name = 'ServerUnreachableError';
  }
}

async function post(path: string, body: object): Promise<Response> {
  try {
    return await apiFetch(path, { method: 'POST', auth: false, body: JSON.stringify(body) });
  } catch (failure) {
    if (failure instanceof MaintenanceError || failure instanceof UpgradeRequiredError) throw failure;
    throw new ServerUnreachableError();
  }
}

const text = (value: unknown): string | undefined => (typeof value === 'string' && value ? value : undefined);

/** An account refused because it is suspended; its message is the server's. */
export class AccountSuspendedError extends Error {
  constructor(message: string) {
    super(message);
    this.name = 'ACCOUNT_SUSPENDED';
  }
}

async function signedIn(reply: Response): Promise<Profile> {
  const body = await jsonBody(reply);
  if (body.error_code === 'ACCOUNT_SUSPENDED') throw new AccountSuspendedError(text(body.message) ?? '');
  const token = text(body.token);
  if (!reply.ok || !token) throw new Error(text(body.message) ?? `HTTP ${reply.status}`);
  const user = (body.user && typeof body.user === 'object' ? body.user : {}) as Profile;
  await writeSecret('token', token);
  await writeMeta(META.profile, JSON.stringify(user));
  return user;
}

export async function signIn(email: string, password: string): Promise<Profile | OtpChallenge> {
  const reply = await post('/login', { email, password, device_name: await deviceName() });
  if (reply.status === 202) {
    const body = await jsonBody(reply.clone());
    if (body.otp_required === true)
      return { otpRequired: true, challenge: text(body.challenge) ?? '', message: text(body.message) ?? '' };
  }
  return signedIn(reply);
}

export async function verifyOtp(challenge: string, code: string): Promise<Profile> {
  return signedIn(await post('/login/otp', { challenge, code }));
}

/** Asks for a reset code; resolves with the server's message for display. */
export async function requestResetCode(email: string): Promise<string> {
  const reply = await post('/password/forgot', { email });
  const body = await jsonBody(reply);
  if (!reply.ok) throw new Error(text(body.message) ?? `HTTP ${reply.status}`);
  return text(body.message) ?? '';
}

export async function resetPassword(email: string, code: string, password: string): Promise<void> {
  const reply = await post('/password/reset', { email, code, password, password_confirmation: password });
  if (reply.ok) return;
  const body = await jsonBody(reply);
  const errors = body.errors && typeof body.errors === 'object' ? Object.values(body.errors) : [];
  const messages = errors.flat().map(String);
  throw new Error(messages.length ? messages.join(' ') : (text(body.message) ?? `HTTP ${reply.status}`));
}

export interface ProfileFetch {
  /** Checked when the reply is in: false drops it unstored (the session it was for has ended). */
  wanted?(): boolean;
  /** Gives up on a server that does not answer. */
  timeoutMs?: number;
}

/** The signed-in user's profile, stored for the next start; null on any failure. */
export async function fetchProfile(options: ProfileFetch = {}): Promise<Profile | null> {
  const abort = new AbortController();
  const timer = options.timeoutMs === undefined ? undefined : setTimeout(() => abort.abort(), options.timeoutMs);
  try {
    const reply = await apiFetch('/me', { signal: abort.signal });
    if (!reply.ok) return null;
    const body = await jsonBody(reply);
    if (!body.user || typeof body.user !== 'object') return null;
    if (options.wanted && !options.wanted()) return null;
    await writeMeta(META.profile, JSON.stringify(body.user));
    return body.user as Profile;
  } catch {
    return null;
  } finally {
    clearTimeout(timer);
  }
}

export const LOGOUT_WAIT_MS = 4000;

/** Tells the server (waiting at most 4 s, whatever it answers), then forgets the token. */
export async function logout(): Promise<void> {
  const request = apiFetch('/logout', { method: 'POST' }).then(
    () => undefined,
    () => undefined,
  );
  let timer: ReturnType<typeof setTimeout> | undefined;
  const timeout = new Promise<void>((done) => (timer = setTimeout(done, LOGOUT_WAIT_MS)));
  await Promise.race([request, timeout]);
  clearTimeout(timer);
  await writeSecret('token', null);
}
