import { clients, expenses, notes, overview, payables, products, treasury } from '../backoffice';
import { onlineModules } from '../online';
import { documents, returns, shifts, till } from '../sales';
import { Catalogue, STORAGE_TABLES } from '../storage';
import { EntityRegistry, type FeatureManifest } from '../sync';

/** Every feature of the client; the palette lists their actions in this order. */
export const FEATURES: readonly FeatureManifest[] = [
  overview,
  expenses,
  till,
  documents,
  clients,
  notes,
  products,
  shifts,
  returns,
  payables,
  treasury,
  onlineModules,
];

/** The modules in tab-bar order; `sync` is the frame's own settings module. */
export const MODULE_ORDER: readonly string[] = [
  'dashboard', 'pos', 'invoices', 'expenses', 'treasury', 'quotes', 'ledger', 'payables', 'clients', 'products',
  'notes', 'tasks', 'chat', 'mail', 'fleet', 'esim', 'web', 'sync', 'home', 'categories', 'units', 'inventory',
  'purchases', 'suppliers', 'reports', 'attendance', 'production', 'vardel', 'payroll', 'costcenters',
  'integrations', 'partner',
];

/** Every local table: the storage's own and the features'. */
export const catalogue = new Catalogue([...STORAGE_TABLES, ...FEATURES.flatMap((f) => f.tables ?? [])]);

/** Every kind of record the features sync. */
export const entities = new EntityRegistry(
  FEATURES.flatMap((f) => f.entities ?? []),
  catalogue,
);
