import { describe, expect, it } from 'vitest';
import { navigation } from '../../shell';
import { session } from '../../sync';
import { createShellRouter } from './router';

describe('routes and tab in step', () => {
  it('follows the tab, refuses hidden modules, and moves the tab on navigation', async () => {
    session.profile = { abilities: ['sync'], features: { cashier: true } };
    navigation.tab = 'pos';
    const router = createShellRouter();
    await router.isReady().catch(() => {});
    await new Promise((r) => setTimeout(r, 0));
    expect(router.currentRoute.value.name).toBe('pos');

    await router.push('/clients');
    expect(router.currentRoute.value.name).toBe('pos');
    expect(navigation.tab).toBe('pos');

    session.profile = { abilities: ['sync'] };
    await router.push('/clients');
    expect(navigation.tab).toBe('clients');
    await router.push('/anything/else');
    expect(navigation.tab).toBe('clients');
  });
});
