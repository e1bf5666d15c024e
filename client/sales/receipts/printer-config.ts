import { hasHostBridge } from '../../bridge';
import { openLocalDb } from '../../storage';
import type { Paper, PrinterConfig, PrinterKind } from './types';

const KEY = 'printer';

export const DEFAULT_PRINTER_CONFIG: Readonly<PrinterConfig> = {
  kind: 'browser',
  paper: 80,
  autoCut: true,
  drawerOnCash: true,
  autoPrint: false,
};

const KINDS: readonly PrinterKind[] = ['system', 'network', 'bluetooth', 'browser'];

/** The defaults overlaid with the stored fields that make sense; anything else is dropped. */
export function parsePrinterConfig(stored: string | null | undefined): PrinterConfig {
  let fields: Record<string, unknown> = {};
  try {
    const parsed: unknown = JSON.parse(stored ?? '');
    if (parsed && typeof parsed === 'object' && !Array.isArray(parsed)) fields = parsed as Record<string, unknown>;
  } catch {
    // Unreadable: the defaults.
  }
  const config: PrinterConfig = { ...DEFAULT_PRINTER_CONFIG };
  if (KINDS.includes(fields.kind as PrinterKind)) config.kind = fields.kind as PrinterKind;
  if (fields.paper === 58 || fields.paper === 80) config.paper = fields.paper as Paper;
  for (const flag of ['autoCut', 'drawerOnCash', 'autoPrint'] as const)
    if (typeof fields[flag] === 'boolean') config[flag] = fields[flag] as boolean;
  for (const text of ['name', 'host', 'address'] as const)
    if (typeof fields[text] === 'string') config[text] = fields[text] as string;
  if (typeof fields.port === 'number' || typeof fields.port === 'string') config.port = fields.port;
  return config;
}

export async function loadPrinterConfig(): Promise<PrinterConfig> {
  try {
    const db = await openLocalDb();
    const rows = await db.select<{ value: string }>('SELECT value FROM meta WHERE key = ?', [KEY]);
    return parsePrinterConfig(rows[0]?.value);
  } catch {
    return { ...DEFAULT_PRINTER_CONFIG };
  }
}

export async function savePrinterConfig(config: PrinterConfig): Promise<void> {
  const db = await openLocalDb();
  await db.execute('INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)', [KEY, JSON.stringify(config)]);
}

/** The kinds this build offers, in the settings screen's order. */
export function printerKinds(): PrinterKind[] {
  return hasHostBridge() ? ['system', 'network', 'browser'] : ['browser'];
}
