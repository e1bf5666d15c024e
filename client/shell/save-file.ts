// Saving downloaded bytes as a file the user keeps: through the host's save
// dialog in the desktop window, as a browser download elsewhere.

interface HostFiles {
  saveDialog(suggestedName: string, extension: string): Promise<string | null>;
  writeFile(path: string, base64: string): Promise<unknown>;
  openPath(path: string): Promise<unknown>;
}

function hostFiles(): HostFiles | null {
  const host = (window as { tovikHost?: HostFiles }).tovikHost;
  return host && typeof host.saveDialog === 'function' ? host : null;
}

/** A name every file system takes: reserved characters and control characters become "_". */
export function cleanFileName(name: string): string {
  const cleaned = name.replace(/[\\/:*?"<>|\u0000-\u001f]+/g, '_').trim();
  return cleaned || 'download';
}

function base64Of(bytes: Uint8Array): string {
  let text = '';
  const CHUNK = 0x8000;
  for (let at = 0; at < bytes.length; at += CHUNK) text += String.fromCharCode(...bytes.subarray(at, at + CHUNK));
  return btoa(text);
}

/**
 * Saves the bytes under a cleaned name. In the window the user picks the
 * place and the file then opens; false when the dialog was cancelled.
 */
export async function saveFile(name: string, bytes: Uint8Array, type = 'application/octet-stream'): Promise<boolean> {
  const fileName = cleanFileName(name);
  const host = hostFiles();
  if (host) {
    const dot = fileName.lastIndexOf('.');
    const path = await host.saveDialog(fileName, dot > 0 ? fileName.slice(dot + 1) : '');
    if (!path) return false;
    await host.writeFile(path, base64Of(bytes));
    // The file is saved; not opening it is no failure.
    await host.openPath(path).catch(() => {});
    return true;
  }
  const url = URL.createObjectURL(new Blob([bytes as BlobPart], { type }));
  const link = document.createElement('a');
  link.href = url;
  link.download = fileName;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60_000);
  return true;
}
