import type { Profile } from '../../sync/account';
import { hasSyncAbility } from '../../sync/session/app-state';
import { translate } from '../language';

export type Role = 'owner' | 'cashier';

export interface ModuleEntry {
  key: string;
  label: string;
  roles: readonly Role[];
  /** Reachable from shortcuts and routes, not from the tab bar. */
  rail: boolean;
  /** Works only against the server. */
  online: boolean;
}

const entry = (key: string, label: string, roles: readonly Role[], rail = false, online = false): ModuleEntry => ({
  key,
  label,
  roles,
  rail,
  online,
});
const OWNER: readonly Role[] = ['owner'];
const BOTH: readonly Role[] = ['owner', 'cashier'];

/** Every module, in tab-bar order. */
export const moduleRegistry: readonly ModuleEntry[] = [
  entry('dashboard', 'Main page', OWNER),
  entry('pos', 'POS', BOTH),
  entry('invoices', 'Invoices', OWNER),
  entry('expenses', 'Expenses', OWNER),
  entry('treasury', 'Treasury', OWNER),
  entry('quotes', 'Quotations', OWNER),
  entry('ledger', 'Accounts', OWNER),
  entry('payables', 'Payables', OWNER),
  entry('clients', 'Clients', OWNER),
  entry('products', 'Products', OWNER),
  entry('notes', 'Notepad', OWNER),
  entry('tasks', 'Tasks', OWNER, false, true),
  entry('chat', 'Chat', BOTH, false, true),
  entry('mail', 'Mail', OWNER, false, true),
  entry('fleet', 'Fleet', OWNER, false, true),
  entry('esim', 'eSIM', OWNER, false, true),
  entry('web', 'Web app', OWNER, false, true),
  entry('sync', 'Sync', OWNER),
  entry('home', 'Home', OWNER, true),
  entry('categories', 'Categories', OWNER, true),
  entry('units', 'Units', OWNER, true),
  entry('inventory', 'Inventory', OWNER, true),
  entry('purchases', 'Purchases', OWNER, true, true),
  entry('suppliers', 'Suppliers', OWNER, true, true),
  entry('reports', 'Reports', OWNER, true, true),
  entry('attendance', 'Attendance', OWNER, true, true),
  entry('production', 'Manufacturing', OWNER, true, true),
  entry('vardel', 'Vardel Pay', OWNER, true, true),
  entry('payroll', 'Payroll', OWNER, true, true),
  entry('costcenters', 'Cost centers', OWNER, true, true),
  entry('integrations', 'Integrations', OWNER, true, true),
  entry('partner', 'Partner portal', [], false, true),
];

const byKey = new Map(moduleRegistry.map((m) => [m.key, m]));

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

const VERTICAL_LABELLED = new Set(['clients', 'products', 'invoices']);

export function moduleLabel(key: string, profile: Profile | null): string {
  if (VERTICAL_LABELLED.has(key)) {
    const vertical = profile?.vertical as { key?: unknown; labels?: Record<string, unknown> } | undefined;
    const label = vertical && vertical.key !== 'general' ? vertical.labels?.[key] : undefined;
    if (typeof label === 'string' && label) return label;
  }
  const entryOf = byKey.get(key);
  return entryOf ? translate(entryOf.label) : key;
}

export interface RouteEntry {
  name: string;
  module: string;
  icon: string;
}

const route = (name: string, module: string, icon: string): RouteEntry => ({ name, module, icon });

/** The named routes, in order; any other path shows no module. */
export const routeTable: readonly RouteEntry[] = [
  route('home', 'home', 'home'),
  route('pos', 'pos', 'cart'),
  route('invoices', 'invoices', 'receipt'),
  route('products', 'products', 'box'),
  route('categories', 'categories', 'tag'),
  route('units', 'units', 'ruler'),
  route('inventory', 'inventory', 'stack'),
  route('purchases', 'purchases', 'truck'),
  route('suppliers', 'suppliers', 'people'),
  route('clients', 'clients', 'person'),
  route('reports', 'reports', 'chart'),
  route('attendance', 'attendance', 'clock'),
  route('production', 'production', 'gear'),
  route('vardel', 'vardel', 'wallet'),
  route('payroll', 'payroll', 'cash'),
  route('costcenters', 'costcenters', 'pie'),
  route('integrations', 'integrations', 'plug'),
  route('settings', 'sync', 'settings'),
];

export interface NavigationItem extends RouteEntry {
  label: string;
}

export function navigationItems(profile: Profile | null): NavigationItem[] {
  const visible = new Set(visibleModules(profile));
  return routeTable
    .filter((r) => visible.has(r.module))
    .map((r) => ({ ...r, label: r.name === 'settings' ? translate('Settings') : moduleLabel(r.module, profile) }));
}
