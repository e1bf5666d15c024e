import { reactive } from 'vue';
import { serverUrl, withoutTrailingSlashes } from './server-address';

export const maintenanceState = reactive({ active: false, message: '', checkedAt: 0 });

export const MAINTENANCE_POLL_MS = 30_000;
let poll: ReturnType<typeof setInterval> | null = null;

export function enterMaintenance(message: string | undefined): void {
  maintenanceState.active = true;
  maintenanceState.message = message ?? '';
  poll ??= setInterval(() => void checkServerStatus(), MAINTENANCE_POLL_MS);
}

export function leaveMaintenance(): void {
  maintenanceState.active = false;
  maintenanceState.message = '';
  if (poll !== null) clearInterval(poll);
  poll = null;
}

/** One look at the server's status endpoint. Never throws; returns whether maintenance is on. */
export async function checkServerStatus(): Promise<boolean> {
  try {
    const origin = withoutTrailingSlashes(await serverUrl());
    if (!origin) return maintenanceState.active;
    const reply = await fetch(`${origin}/api/status`, {
      headers: { Accept: 'application/json' },
      cache: 'no-store',
    });
    let body: { maintenance?: unknown; message?: unknown } | null = null;
    try {
      const parsed: unknown = await reply.json();
      body = parsed && typeof parsed === 'object' ? parsed : {};
    } catch {
      body = null;
    }
    maintenanceState.checkedAt = Date.now();
    if (body?.maintenance === true) enterMaintenance(typeof body.message === 'string' ? body.message : '');
    else if (reply.ok && body !== null) leaveMaintenance();
  } catch {
    // Offline: the state stays as it was.
  }
  return maintenanceState.active;
}
