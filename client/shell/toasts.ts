import { reactive, readonly } from 'vue';

export interface ToastRecord {
  id: number;
  title: string;
  message: string | null;
  type: string;
}

export interface Toast extends ToastRecord {
  /** Tells apart two toasts of one notification raised twice. */
  readonly key: number;
}

const MAX_SHOWN = 3;
export const PLAIN_TOAST_MS = 4000;
export const RAISED_TOAST_MS = 7000;

const stack = reactive<Toast[]>([]);
let nextKey = 1;
let nextPlainId = -1;

/** The toasts on screen, oldest first. */
export const toasts = readonly(stack);

export function pushToast(record: ToastRecord, ms: number): void {
  const toast: Toast = { ...record, key: nextKey++ };
  stack.push(toast);
  while (stack.length > MAX_SHOWN) stack.shift();
  setTimeout(() => dismissToast(toast.key), ms);
}

/** Removing a toast that is already gone does nothing. */
export function dismissToast(key: number): void {
  const index = stack.findIndex((toast) => toast.key === key);
  if (index >= 0) stack.splice(index, 1);
}

export function clearToasts(): void {
  stack.splice(0);
}

/** A plain toast: no list entry, no sound, no system notification. */
export function showToast(title: string, detail = '', kind = 'success'): void {
  pushToast({ id: nextPlainId--, title, message: detail || null, type: kind }, PLAIN_TOAST_MS);
}
