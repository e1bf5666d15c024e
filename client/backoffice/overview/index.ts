// The owner's home and dashboard.
import type { FeatureManifest } from '../../sync';

export const overview: FeatureManifest = {
  name: 'overview',
  modules: [
    { key: 'dashboard', label: 'Main page', roles: ['owner'] },
    { key: 'home', label: 'Home', roles: ['owner'], rail: true, route: { name: 'home', icon: 'home' } },
  ],
  paletteActions: [{ key: 'board', title: 'Operations Board', module: 'dashboard' }],
};
