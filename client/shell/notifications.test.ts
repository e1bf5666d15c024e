import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest';
import {
  addNotification,
  categoryOf,
  clearNotifications,
  markAllRead,
  notificationStore,
  raiseNotification,
  type NotificationRecord,
} from './notifications';
import { setMuted, soundFor, type SoundName } from './sounds';
import { showToast, toasts } from './toasts';

// A Web Audio stand-in that records the tones it is asked to play.
class FakeAudioContext {
  static tones: { type: string; hz: number; start: number; stop: number }[] = [];
  state = 'running';
  currentTime = 1;
  destination = {};
  async resume() {}
  createGain() {
    const param = { setValueAtTime() {}, exponentialRampToValueAtTime() {} };
    return { gain: param, connect() {} };
  }
  createOscillator() {
    const tone = { type: 'sine', hz: 0, start: 0, stop: 0 };
    return {
      set type(value: string) {
        tone.type = value;
      },
      frequency: {
        set value(hz: number) {
          tone.hz = hz;
        },
      },
      connect() {},
      start(at: number) {
        tone.start = at;
      },
      stop(at: number) {
        tone.stop = at;
        FakeAudioContext.tones.push(tone);
      },
    };
  }
}

const vibrate = vi.fn(() => true);

beforeEach(() => {
  vi.useFakeTimers();
  FakeAudioContext.tones = [];
  vibrate.mockClear();
  vi.stubGlobal('AudioContext', FakeAudioContext);
  Object.defineProperty(navigator, 'vibrate', { value: vibrate, configurable: true });
  localStorage.clear();
  clearNotifications();
});

afterEach(() => {
  vi.useRealTimers();
  vi.unstubAllGlobals();
});

const record = (id: number, title: string, extra: Partial<NotificationRecord> = {}): NotificationRecord => ({
  id,
  title,
  message: null,
  ...extra,
});

describe('categoryOf', () => {
  it.each<[Partial<NotificationRecord>, string]>([
    [{ title: 'WhatsApp disconnected', type: 'warning' }, 'whatsapp'],
    [{ title: 'رسالة', message: 'من واتساب' }, 'whatsapp'],
    [{ title: 'Heads up', message: 'You used 90% of it', type: 'warning' }, 'quota'],
    [{ title: 'Plan limit reached', type: 'info' }, 'system'],
    [{ title: 'Low stock', type: 'info' }, 'transaction'],
    [{ title: 'New ORDER #12' }, 'transaction'],
    [{ title: 'فاتورة جديدة' }, 'transaction'],
    [{ title: 'Stock quota', type: 'warning' }, 'quota'],
    [{ title: 'Welcome back' }, 'system'],
    // Whole words: "حد" (limit) is not the inside of تحديث, واحد or وحدة.
    [{ title: 'تحديث النظام', type: 'warning' }, 'system'],
    [{ title: 'وحدة واحدة', type: 'warning' }, 'system'],
    [{ title: 'بلغت الحدّ', type: 'warning' }, 'quota'],
    [{ title: 'تم تحديث الطلب' }, 'transaction'],
    [{ title: 'Invoices synced' }, 'transaction'],
  ])('%j falls into %s', (fields, kind) => {
    expect(categoryOf({ title: '', message: null, ...fields })).toBe(kind);
  });
});

describe('soundFor', () => {
  it.each<[string | null, string, SoundName]>([
    ['danger', 'Payment received', 'error'],
    ['error', 'Anything', 'error'],
    ['info', 'New WhatsApp message', 'message'],
    ['info', 'محادثة جديدة', 'message'],
    ['info', 'Low stock', 'warning'],
    ['warning', 'Invoice paid', 'warning'],
    ['info', 'Invoice PAID', 'payment'],
    ['info', 'تم السداد', 'payment'],
    ['info', 'New order', 'sale'],
    ['success', 'Done', 'sale'],
    [null, 'Welcome', 'info'],
    ['info', 'تم تحديث الطلب', 'sale'],
    ['info', 'وحدة جديدة', 'info'],
    ['info', 'تجاوزت الحد', 'warning'],
    ['info', 'دفعة مستلمة', 'payment'],
  ])('type %s titled %s plays %s', (type, title, sound) => {
    expect(soundFor(type, title)).toBe(sound);
  });
});

describe('toasts', () => {
  it('keep the last three of four quick toasts and leave after their delays', () => {
    for (const title of ['one', 'two', 'three']) showToast(title);
    raiseNotification(record(9, 'four'), { sound: false });
    expect(toasts.map((t) => [t.title, t.id])).toEqual([
      ['two', -2],
      ['three', -3],
      ['four', 9],
    ]);
    vi.advanceTimersByTime(4000);
    expect(toasts.map((t) => t.title)).toEqual(['four']);
    vi.advanceTimersByTime(3000);
    expect(toasts).toHaveLength(0);
  });
});

describe('the notification list', () => {
  it('lists an id once, newest first, at most 100, and counts unread', () => {
    addNotification(record(1, 'old', { created_at: '2026-01-01T10:00:00Z' }));
    addNotification(record(2, 'new', { created_at: '2026-01-02T10:00:00Z' }));
    addNotification(record(1, 'old again', { created_at: '2026-01-03T10:00:00Z' }));
    addNotification(record(3, 'read', { created_at: '2025-12-31T10:00:00Z' }), true);
    expect(notificationStore.items.map((e) => e.title)).toEqual(['new', 'old', 'read']);
    expect(notificationStore.unread).toBe(2);
    markAllRead();
    expect(notificationStore.unread).toBe(0);
    for (let id = 10; id < 120; id++) addNotification(record(id, `n${id}`, { created_at: `2027-01-01T00:${String(id).padStart(3, "0")}` }));
    expect(notificationStore.items).toHaveLength(100);
    expect(notificationStore.items[0]?.title).toBe('n119');
  });

  it('raises a toast, an entry and a sound with its vibration', () => {
    raiseNotification(record(4, 'Payment received', { type: 'success' }));
    expect(toasts).toHaveLength(1);
    expect(notificationStore.items.map((e) => [e.id, e.kind, e.read])).toEqual([[4, 'transaction', false]]);
    expect(vibrate).toHaveBeenCalledWith([40, 40, 40]);
    expect(FakeAudioContext.tones.map((t) => [t.hz, +(t.start - 1).toFixed(2)])).toEqual([
      [784, 0.01],
      [988, 0.1],
      [1319, 0.19],
    ]);
    expect(FakeAudioContext.tones.at(-1)?.stop).toBeCloseTo(1 + 0.01 + 0.18 + 0.25 + 0.02);
  });

  it('stays silent when muted but still toasts and lists', () => {
    setMuted(true);
    expect(localStorage.getItem('tovik.sound.muted')).toBe('1');
    raiseNotification(record(5, 'Low stock', { type: 'warning' }));
    expect(vibrate).not.toHaveBeenCalled();
    expect(FakeAudioContext.tones).toEqual([]);
    expect(toasts).toHaveLength(1);
    expect(notificationStore.items).toHaveLength(1);
  });

  it('empties the list and the toasts on clear', () => {
    raiseNotification(record(6, 'Hello'), { sound: false });
    clearNotifications();
    expect([notificationStore.items.length, notificationStore.unread, toasts.length]).toEqual([0, 0, 0]);
  });
});
