import { describe, expect, it } from 'vitest';
import { appState } from '../../sync/session/app-state';
import { createShellRouter } from './router';

describe('routes and tab in step', () => {
  it('follows the tab, refuses hidden modules, and moves the tab on navigation', async () => {
    appState.profile = { abilities: ['sync'], features: { cashier: true } };
    appState.tab = 'pos';
    const router = createShellRouter();
    await router.isReady().catch(() => {});
    await new Promise((r) => setTimeout(r, 0));
    expect(router.currentRoute.value.name).toBe('pos');

    await router.push('/clients');
    expect(router.currentRoute.value.name).toBe('pos');
    expect(appState.tab).toBe('pos');

    appState.profile = { abilities: ['sync'] };
    await router.push('/clients');
    expect(appState.tab).toBe('clients');
    await router.push('/anything/else');
    expect(appState.tab).toBe('clients');
  });
});
