import { watch } from 'vue';
import { createMemoryHistory, createRouter, type Router } from 'vue-router';
import { appState } from '../../sync/session/app-state';
import { routeTable, visibleModules } from './modules';

// The router renders nothing: it keeps the current module (AppState.tab) and
// the route in step, so that screens and shortcuts can name places by path.
const NoView = { render: () => null };

export function createShellRouter(): Router {
  const router = createRouter({
    history: createMemoryHistory(),
    routes: [
      ...routeTable.map((r) => ({ path: `/${r.name}`, name: r.name, component: NoView, meta: { module: r.module } })),
      { path: '/:rest(.*)*', name: 'other', component: NoView, meta: { module: null } },
    ],
  });

  const moduleOf = (meta: Record<string | number | symbol, unknown>) =>
    typeof meta.module === 'string' ? meta.module : null;

  router.beforeEach((to) => {
    const module = moduleOf(to.meta);
    return module === null || visibleModules(appState.profile).includes(module);
  });
  router.afterEach((to, _from, failure) => {
    const module = moduleOf(to.meta);
    if (!failure && module !== null && module !== appState.tab) appState.tab = module;
  });

  watch(
    () => appState.tab,
    (tab) => {
      const route = routeTable.find((r) => r.module === tab);
      if (!route || !visibleModules(appState.profile).includes(tab)) return;
      if (router.currentRoute.value.name !== route.name) router.replace({ name: route.name }).catch(() => {});
    },
    { immediate: true },
  );
  return router;
}
