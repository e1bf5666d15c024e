// Modules that work only against the server; each gets its own folder when
// its screen is built.
import type { ModuleManifest } from '../shell';
import type { FeatureManifest } from '../sync';

const online = (
  key: string,
  label: string,
  route?: ModuleManifest['route'],
  roles: ModuleManifest['roles'] = ['owner'],
): ModuleManifest => ({ key, label, roles, online: true, rail: route !== undefined, route });

export const onlineModules: FeatureManifest = {
  name: 'online',
  modules: [
    online('tasks', 'Tasks'),
    online('chat', 'Chat', undefined, ['owner', 'cashier']),
    online('mail', 'Mail'),
    online('fleet', 'Fleet'),
    online('esim', 'eSIM'),
    online('web', 'Web app'),
    online('purchases', 'Purchases', { name: 'purchases', icon: 'truck' }),
    online('suppliers', 'Suppliers', { name: 'suppliers', icon: 'people' }),
    online('reports', 'Reports', { name: 'reports', icon: 'chart' }),
    online('attendance', 'Attendance', { name: 'attendance', icon: 'clock' }),
    online('production', 'Manufacturing', { name: 'production', icon: 'gear' }),
    online('vardel', 'Vardel Pay', { name: 'vardel', icon: 'wallet' }),
    online('payroll', 'Payroll', { name: 'payroll', icon: 'cash' }),
    online('costcenters', 'Cost centers', { name: 'costcenters', icon: 'pie' }),
    online('integrations', 'Integrations', { name: 'integrations', icon: 'plug' }),
    online('partner', 'Partner portal', undefined, []),
  ],
};
