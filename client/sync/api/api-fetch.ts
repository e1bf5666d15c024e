import { APP_VERSION, PLATFORM_WORD } from './deployment';
import { enterMaintenance } from './maintenance';
import { notePermissionsHash } from './permissions-hash';
import { apiBase } from './server-address';
import { setRequiredUpdate, type RequiredUpdate } from './update-state';

export class MaintenanceError extends Error {
  constructor() {
    super('maintenance');
    this.name = 'MaintenanceError';
  }
}

export class UpgradeRequiredError extends Error {
  constructor() {
    super('update required');
    this.name = 'UpgradeRequiredError';
  }
}

/** Whose calls these are: the session gives the token and the company. */
export interface ApiSession {
  token(): Promise<string | null>;
  companyId(): Promise<number | null>;
}

let session: ApiSession = { token: async () => null, companyId: async () => null };

/** The session that authorises calls from now on. */
export function provideApiSession(source: ApiSession): void {
  session = source;
}

export interface ApiFetchOptions extends RequestInit {
  /** false: no token and no company (sign-in and password calls). Default true. */
  auth?: boolean;
}

/** A reply body parsed as JSON; anything else gives an empty record. */
export async function jsonBody(reply: Response): Promise<Record<string, unknown>> {
  try {
    const parsed: unknown = await reply.json();
    return parsed && typeof parsed === 'object' && !Array.isArray(parsed) ? (parsed as Record<string, unknown>) : {};
  } catch {
    return {};
  }
}

/**
 * The only way to call the platform server. Adds the identification and
 * authorisation headers and turns changed permissions, maintenance and a
 * refused client version into client state before the caller sees the reply.
 */
export async function apiFetch(path: string, options: ApiFetchOptions = {}): Promise<Response> {
  const { auth = true, headers: given, ...request } = options;
  const headers = new Headers(given);
  headers.set('Accept', 'application/json');
  headers.set('X-App-Platform', PLATFORM_WORD);
  headers.set('X-App-Version', APP_VERSION);
  if (request.body != null && !headers.has('Content-Type')) headers.set('Content-Type', 'application/json');
  if (auth) {
    const token = await session.token();
    if (token) headers.set('Authorization', `Bearer ${token}`);
    const company = await session.companyId();
    if (company !== null) headers.set('X-Company-Id', String(company));
  }

  const reply = await fetch(`${await apiBase()}${path}`, { ...request, headers });

  if (notePermissionsHash(reply.headers.get('X-Permissions-Hash'))) {
    window.dispatchEvent(new Event('permissions-changed'));
  }
  if (reply.status === 503) {
    let body: unknown = null;
    try {
      body = await reply.clone().json();
    } catch {
      body = null;
    }
    const record = body && typeof body === 'object' ? (body as Record<string, unknown>) : null;
    if (record?.error_code === 'MAINTENANCE') {
      enterMaintenance(typeof record.message === 'string' ? record.message : '');
      throw new MaintenanceError();
    }
  }
  if (reply.status === 426) {
    await setRequiredUpdate((await jsonBody(reply)) as RequiredUpdate);
    throw new UpgradeRequiredError();
  }
  return reply;
}
