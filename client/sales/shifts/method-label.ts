import { translate as t } from '../../shell';

const BUILT_IN = new Set(['cash', 'card', 'transfer', 'credit', 'wallet']);

const labelIn = (list: unknown, key: string): string | null => {
  if (!Array.isArray(list)) return null;
  for (const entry of list) {
    if (entry && typeof entry === 'object' && (entry as { key?: unknown }).key === key) {
      const label = (entry as { label?: unknown }).label;
      if (typeof label === 'string' && label) return label;
    }
  }
  return null;
};

/** A payment method's name in shift reports: the company's own label first. */
export function reportMethodLabel(tenant: Record<string, unknown>, key: string): string {
  return labelIn(tenant.payment_methods, key) ?? (BUILT_IN.has(key) ? t(`pay.${key}`) : labelIn(tenant.pos_methods, key) ?? key);
}
