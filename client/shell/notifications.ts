import { reactive } from 'vue';
import { playSound, soundFor } from './sounds';
import { showSystemNotification } from './system-notification';
import { clearToasts, pushToast, RAISED_TOAST_MS } from './toasts';
import { wordsIn } from './words';

export interface NotificationRecord {
  /** Positive for the server's notifications, negative for local ones. */
  id: number;
  title: string;
  message: string | null;
  /** "info", "success", "warning", "danger", "error" or "mail". */
  type?: string | null;
  created_at?: string | null;
}

export type NotificationCategory = 'transaction' | 'whatsapp' | 'quota' | 'system';

export interface NotificationEntry extends NotificationRecord {
  at: string;
  read: boolean;
  kind: NotificationCategory;
}

const LIMIT = 100;

export const notificationStore = reactive({ items: [] as NotificationEntry[], unread: 0 });

export function categoryOf(record: Pick<NotificationRecord, 'title' | 'message' | 'type'>): NotificationCategory {
  const has = wordsIn(`${record.title} ${record.message ?? ''}`);
  if (has(['whatsapp', 'واتساب'])) return 'whatsapp';
  if (record.type === 'warning' && has(['plan', 'quota', 'limit', 'الباقة', 'حد', '%'])) return 'quota';
  if (has(['invoice', 'payment', 'sale', 'order', 'stock', 'فاتورة', 'دفع', 'بيع', 'طلب', 'مخزون'])) {
    return 'transaction';
  }
  return 'system';
}

function recount(): void {
  notificationStore.unread = notificationStore.items.filter((entry) => !entry.read).length;
}

/** Adds to the list only; a record whose id is listed already is ignored. */
export function addNotification(record: NotificationRecord, read = false): void {
  const items = notificationStore.items;
  if (items.some((entry) => entry.id === record.id)) return;
  const at = record.created_at || new Date().toISOString();
  items.unshift({ ...record, at, read, kind: categoryOf(record) });
  items.sort((a, b) => (a.at < b.at ? 1 : a.at > b.at ? -1 : 0));
  items.splice(LIMIT);
  recount();
}

/** A toast, a list entry, a sound unless `sound` is false, and a system notification. */
export function raiseNotification(record: NotificationRecord, options: { sound?: boolean } = {}): void {
  pushToast({ id: record.id, title: record.title, message: record.message, type: record.type ?? 'info' }, RAISED_TOAST_MS);
  addNotification(record);
  if (options.sound !== false) playSound(soundFor(record.type, record.title));
  void showSystemNotification(record.title, record.message ?? '');
}

export function markAllRead(): void {
  for (const entry of notificationStore.items) entry.read = true;
  recount();
}

/** Empties the list and the toasts (sign-out). */
export function clearNotifications(): void {
  notificationStore.items.splice(0);
  recount();
  clearToasts();
}
