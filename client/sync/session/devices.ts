import { translate } from '../../shell';
import { apiFetch, jsonBody } from '../api';

/** One signed-in session of the user, as the device list shows it. */
export interface DeviceSession {
  key: string;
  kind: string;
  user: string;
  device: string;
  platform: string;
  ip: string;
  location?: string;
  last_active: string;
  id: string;
  current: boolean;
}

const str = (value: unknown): string => (typeof value === 'string' ? value : value == null ? '' : String(value));

/** Older servers list `devices`; they are shown in the same shape. */
function fromDevice(record: Record<string, unknown>): DeviceSession {
  return {
    key: `token:${str(record.id)}`,
    kind: 'app',
    user: '',
    device: str(record.name),
    platform: translate('App'),
    ip: str(record.ip_address),
    last_active: str(record.last_used_at) || str(record.created_at),
    id: `#${str(record.id)}`,
    current: record.current === true,
  };
}

function fromSession(record: Record<string, unknown>): DeviceSession {
  return {
    key: str(record.key),
    kind: str(record.kind),
    user: str(record.user),
    device: str(record.device),
    platform: str(record.platform),
    ip: str(record.ip),
    location: typeof record.location === 'string' ? record.location : undefined,
    last_active: str(record.last_active),
    id: str(record.id),
    current: record.current === true,
  };
}

const records = (value: unknown) =>
  Array.isArray(value) ? value.filter((r): r is Record<string, unknown> => !!r && typeof r === 'object') : null;

export async function listSessions(): Promise<DeviceSession[]> {
  const reply = await apiFetch('/sessions');
  if (!reply.ok) throw new Error(`HTTP ${reply.status}`);
  const body = await jsonBody(reply);
  const sessions = records(body.sessions);
  if (sessions) return sessions.map(fromSession);
  return (records(body.devices) ?? []).map(fromDevice);
}

/** Ends one session; one the server no longer knows counts as ended. */
export async function revokeSession(key: string): Promise<void> {
  const reply = await apiFetch(`/sessions/${encodeURIComponent(key)}`, { method: 'DELETE' });
  if (!reply.ok && reply.status !== 404) throw new Error(`HTTP ${reply.status}`);
}

export async function revokeOtherSessions(): Promise<void> {
  const reply = await apiFetch('/sessions/revoke-others', { method: 'POST' });
  if (!reply.ok) throw new Error(`HTTP ${reply.status}`);
}
