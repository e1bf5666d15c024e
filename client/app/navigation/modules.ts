import { translate, type ModuleManifest, type Role } from '../../shell';
import { hasSyncAbility, type Profile } from '../../sync';
import { FEATURES, MODULE_ORDER } from '../features';

/** The frame's own module: the settings, which open on the sync screen. */
const SETTINGS: ModuleManifest = {
  key: 'sync',
  label: 'Sync',
  roles: ['owner'],
  route: { name: 'settings', icon: 'settings' },
  screen: () => import('../settings/SyncView.vue'),
};

const position = (key: string) => {
  const at = MODULE_ORDER.indexOf(key);
  if (at < 0) throw new Error(`module ${key} is missing from the module order`);
  return at;
};

/** Every module, in tab-bar order. */
export const moduleRegistry: readonly ModuleManifest[] = [SETTINGS, ...FEATURES.flatMap((f) => f.modules ?? [])].sort(
  (a, b) => position(a.key) - position(b.key),
);

const byKey = new Map(moduleRegistry.map((m) => [m.key, m]));

export function moduleOf(key: string): ModuleManifest | undefined {
  return byKey.get(key);
}

/** A cashier is whoever has the cashier feature; everyone else counts as owner. */
export function effectiveRole(profile: Profile | null): Role {
  const features = profile?.features as Record<string, unknown> | undefined;
  return features?.cashier === true ? 'cashier' : 'owner';
}

export function visibleModules(profile: Profile | null): string[] {
  if (!profile || !hasSyncAbility(profile)) return [];
  const role = effectiveRole(profile);
  return moduleRegistry.filter((m) => m.roles.includes(role)).map((m) => m.key);
}

export function tabModules(profile: Profile | null): string[] {
  return visibleModules(profile).filter((key) => !byKey.get(key)?.rail);
}

export function homeModule(profile: Profile | null): string {
  if (hasSyncAbility(profile)) return effectiveRole(profile) === 'cashier' ? 'pos' : 'dashboard';
  return profile?.role === 'partner' ? 'partner' : 'web';
}

export function moduleLabel(key: string, profile: Profile | null): string {
  const entry = byKey.get(key);
  if (entry?.verticalLabel) {
    const vertical = profile?.vertical as { key?: unknown; labels?: Record<string, unknown> } | undefined;
    const label = vertical && vertical.key !== 'general' ? vertical.labels?.[key] : undefined;
    if (typeof label === 'string' && label) return label;
  }
  return entry ? translate(entry.label) : key;
}

export interface RouteEntry {
  name: string;
  module: string;
  icon: string;
}

/** The named routes; any other path shows no module. */
export const routeTable: readonly RouteEntry[] = moduleRegistry.flatMap((m) =>
  m.route ? [{ name: m.route.name, module: m.key, icon: m.route.icon }] : [],
);

export interface NavigationItem extends RouteEntry {
  label: string;
}

export function navigationItems(profile: Profile | null): NavigationItem[] {
  const visible = new Set(visibleModules(profile));
  return routeTable
    .filter((r) => visible.has(r.module))
    .map((r) => ({ ...r, label: r.name === 'settings' ? translate('Settings') : moduleLabel(r.module, profile) }));
}
