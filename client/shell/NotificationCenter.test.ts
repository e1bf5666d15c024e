import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest';
import { createApp, nextTick, type App } from 'vue';
import NotificationCenter from './NotificationCenter.vue';
import { addNotification, clearNotifications, notificationStore, type NotificationRecord } from './notifications';

let app: App;
let root: HTMLElement;
let serverList: NotificationRecord[] = [];
let fetches = 0;

beforeEach(() => {
  localStorage.clear();
  clearNotifications();
  serverList = [];
  fetches = 0;
  root = document.createElement('div');
  document.body.append(root);
  app = createApp(NotificationCenter, {
    fetchList: async () => {
      fetches++;
      return serverList;
    },
  });
  app.mount(root);
});

afterEach(() => {
  app.unmount();
  root.remove();
});

const byTestId = (id: string) => root.querySelectorAll<HTMLElement>(`[data-testid="${id}"]`);

async function click(element: HTMLElement | undefined) {
  element?.click();
  await nextTick();
}

describe('NotificationCenter', () => {
  it('counts unread up to 99+ and marks everything read on opening', async () => {
    expect(byTestId('bell-count')).toHaveLength(0);
    for (let id = 1; id <= 100; id++) addNotification({ id, title: `n${id}`, message: null });
    await nextTick();
    expect(byTestId('bell-count')[0]?.textContent).toBe('99+');
    await click(byTestId('bell')[0]);
    expect(byTestId('notification-center')).toHaveLength(1);
    expect(notificationStore.unread).toBe(0);
    expect(byTestId('bell-count')).toHaveLength(0);
    await click(byTestId('nc-close')[0]);
    expect(byTestId('notification-center')).toHaveLength(0);
  });

  it("adds the server's list as read on opening, and fetches nothing offline", async () => {
    addNotification({ id: -1, title: 'Local', message: null });
    serverList = [{ id: 7, title: 'From the server', message: null, created_at: '2000-01-01T00:00:00Z' }];
    await click(byTestId('bell')[0]);
    await new Promise((r) => setTimeout(r, 0));
    await nextTick();
    expect(notificationStore.items.map((e) => [e.id, e.read])).toEqual([
      [-1, true],
      [7, true],
    ]);
    expect(byTestId('nc-item')).toHaveLength(2);
    await click(byTestId('nc-close')[0]);
    const online = vi.spyOn(navigator, 'onLine', 'get').mockReturnValue(false);
    await click(byTestId('bell')[0]);
    online.mockRestore();
    expect(fetches).toBe(1);
  });

  it('filters by category and shows "Nothing here" for an empty one', async () => {
    addNotification({ id: 1, title: 'Low stock', message: null, type: 'info' });
    addNotification({ id: 2, title: 'Heads up', message: '95%', type: 'warning' });
    await click(byTestId('bell')[0]);
    expect(byTestId('nc-item')).toHaveLength(2);
    const filters = [...root.querySelectorAll<HTMLElement>('.filters button')];
    expect(filters.map((b) => b.textContent?.trim())).toEqual(['الكل', '🧾 المعاملات', '💬 واتساب', '⚡ الباقة', '🔔 النظام']);
    await click(filters[3]);
    expect([...byTestId('nc-item')].map((e) => e.textContent)).toEqual([expect.stringContaining('Heads up')]);
    await click(filters[2]);
    expect(byTestId('nc-item')).toHaveLength(0);
    expect(root.querySelector('.empty')?.textContent).toBe('لا شيء هنا');
  });

  it('flips the mute flag from the panel', async () => {
    await click(byTestId('bell')[0]);
    const mute = byTestId('nc-mute')[0];
    expect(mute?.title).toBe('الصوت مفعّل');
    await click(mute);
    expect(localStorage.getItem('tovik.sound.muted')).toBe('1');
    expect(byTestId('nc-mute')[0]?.textContent?.trim()).toBe('🔇');
    await click(byTestId('nc-mute')[0]);
    expect(localStorage.getItem('tovik.sound.muted')).toBe('0');
  });
});
