import { watch } from 'vue';
import { createMemoryHistory, createRouter, type Router } from 'vue-router';
import { navigation } from '../../shell';
import { session } from '../../sync';
import { routeTable, visibleModules } from './modules';

// The router renders nothing: it keeps the current module (the navigation's tab) and
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
    return module === null || visibleModules(session.profile).includes(module);
  });
  router.afterEach((to, _from, failure) => {
    const module = moduleOf(to.meta);
    if (!failure && module !== null && module !== navigation.tab) navigation.tab = module;
  });

  watch(
    () => navigation.tab,
    (tab) => {
      const route = routeTable.find((r) => r.module === tab);
      if (!route || !visibleModules(session.profile).includes(tab)) return;
      if (router.currentRoute.value.name !== route.name) router.replace({ name: route.name }).catch(() => {});
    },
    { immediate: true },
  );
  return router;
}
