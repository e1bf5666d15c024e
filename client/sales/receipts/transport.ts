// The one way printer bytes leave the client: through the host's commands.
import { hasHostBridge, invoke } from '../../bridge';
import { translate } from '../../shell';
import type { PrinterConfig } from './types';

const RAW_PORT = 9100;

/** Standard Base64 with padding, in one string. */
export function toBase64(bytes: Uint8Array): string {
  let binary = '';
  const step = 0x8000;
  for (let i = 0; i < bytes.length; i += step) binary += String.fromCharCode(...bytes.subarray(i, i + step));
  return btoa(binary);
}

/** The configured port, or 9100 when none is set (an empty field counts as none). */
export function printerPort(port: PrinterConfig['port']): number {
  if (port === undefined || port === null || String(port).trim() === '') return RAW_PORT;
  return Number(port);
}

/** Host failures reject with the host's message; the client's own with its translated text. */
export async function sendToPrinter(config: PrinterConfig, bytes: Uint8Array): Promise<void> {
  switch (config.kind) {
    case 'system':
      if (!config.name?.trim()) throw new Error(translate('Choose the receipt printer first.'));
      await hostCall(() => invoke('printer_print_raw', { printer: config.name ?? '', data: toBase64(bytes) }));
      return;
    case 'network':
      if (!config.host?.trim()) throw new Error(translate("Enter the printer's IP address first."));
      await hostCall(() =>
        invoke('printer_print_tcp', { host: config.host ?? '', port: printerPort(config.port), data: toBase64(bytes) }),
      );
      return;
    case 'bluetooth':
      // Bluetooth printing belongs to the Android build's printer plugin.
      if (!config.address?.trim()) throw new Error(translate('Choose the Bluetooth printer first.'));
      throw new Error(translate('Bluetooth printing needs the Android app.'));
    default:
      throw new Error(translate('The browser printer has no direct commands.'));
  }
}

/** The host rejects with a plain string; callers get an Error carrying it. */
async function hostCall<T>(call: () => Promise<T>): Promise<T> {
  try {
    return await call();
  } catch (error) {
    throw error instanceof Error ? error : new Error(String(error));
  }
}

export async function listSystemPrinters(): Promise<string[]> {
  return hasHostBridge() ? hostCall(() => invoke('printer_list')) : [];
}

export async function discoverNetworkPrinters(): Promise<string[]> {
  return hasHostBridge() ? hostCall(() => invoke('printer_discover', { port: RAW_PORT })) : [];
}
