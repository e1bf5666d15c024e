import type { NotificationRecord } from '../../shell';
import { apiFetch, jsonBody } from '../api';
import { sessionGeneration } from './session-state';

const text = (value: unknown): string | null => (typeof value === 'string' ? value : null);

function record(value: unknown): NotificationRecord | null {
  if (!value || typeof value !== 'object') return null;
  const r = value as Record<string, unknown>;
  if (typeof r.id !== 'number' || typeof r.title !== 'string') return null;
  return { id: r.id, title: r.title, message: text(r.message), type: text(r.type), created_at: text(r.created_at) };
}

/**
 * The server's notifications for the opened centre. Nothing when the call
 * fails, or when the session changed while it ran: one user's list never
 * reaches the next.
 */
export async function serverNotifications(): Promise<NotificationRecord[]> {
  const generation = sessionGeneration();
  try {
    const reply = await apiFetch('/notifications');
    if (!reply.ok) return [];
    const body = await jsonBody(reply);
    if (sessionGeneration() !== generation || !Array.isArray(body.notifications)) return [];
    return body.notifications.map(record).filter((r): r is NotificationRecord => r !== null);
  } catch {
    return [];
  }
}
