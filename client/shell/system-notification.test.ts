import { afterEach, describe, expect, it, vi } from 'vitest';

afterEach(() => {
  vi.unstubAllGlobals();
  vi.resetModules();
});

function stubNotification(permission: string, answer: () => Promise<string>) {
  const shown: [string, NotificationOptions | undefined][] = [];
  const requestPermission = vi.fn(answer);
  class FakeNotification {
    static permission = permission;
    static requestPermission = requestPermission;
    constructor(title: string, options?: NotificationOptions) {
      shown.push([title, options]);
    }
  }
  vi.stubGlobal('Notification', FakeNotification);
  return { shown, requestPermission };
}

describe('ensureNotificationPermission', () => {
  it('asks once and shares the answer with every caller', async () => {
    const { requestPermission, shown } = stubNotification('default', async () => 'granted');
    const { ensureNotificationPermission, showSystemNotification } = await import('./system-notification');
    const answers = await Promise.all([ensureNotificationPermission(), ensureNotificationPermission()]);
    await showSystemNotification('Invoice paid', 'INV-7');
    expect(answers).toEqual([true, true]);
    expect(requestPermission).toHaveBeenCalledTimes(1);
    expect(shown).toEqual([['Invoice paid', { body: 'INV-7' }]]);
  });

  it.each([
    ['a refusal', async () => 'denied'],
    ['a failing request', async () => Promise.reject(new Error('not allowed'))],
  ])('treats %s as not granted and shows nothing', async (_name, answer) => {
    const { shown } = stubNotification('default', answer);
    const { ensureNotificationPermission, showSystemNotification } = await import('./system-notification');
    await expect(ensureNotificationPermission()).resolves.toBe(false);
    await showSystemNotification('x', '');
    expect(shown).toEqual([]);
  });
});
