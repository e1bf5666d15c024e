import { reactive } from 'vue';
import { invoke } from '../../bridge';
import { APP_VERSION } from './deployment';
import { deleteMeta, META, readMeta, writeMeta } from '../../storage';
import { isOlderVersion } from './version';

export interface Release {
  version?: string;
  notes?: string;
  [field: string]: unknown;
}

export interface RequiredUpdate {
  min_version?: string;
  release?: Release;
  [field: string]: unknown;
}

export const updateState = reactive<{ required: RequiredUpdate | null; available: Release | null }>({
  required: null,
  available: null,
});

/**
 * Sets the mandatory update. A required update survives restarts (meta
 * "update_required") and closes the portal window, which must not outlive it.
 */
export async function setRequiredUpdate(required: RequiredUpdate | null): Promise<void> {
  updateState.required = required;
  if (required === null) {
    await deleteMeta(META.updateRequired);
    return;
  }
  await writeMeta(META.updateRequired, JSON.stringify(required));
  await invoke('portal_close', {}).catch(() => {
    // Nothing to close, or no window host: nothing to do.
  });
}

/** At boot: a stored required update still newer than this build is restored; any other is dropped. */
export async function restoreRequiredUpdate(): Promise<void> {
  const text = await readMeta(META.updateRequired);
  if (text === null) return;
  let stored: unknown = null;
  try {
    stored = JSON.parse(text);
  } catch {
    stored = null;
  }
  const minVersion =
    stored && typeof stored === 'object' ? (stored as RequiredUpdate).min_version : undefined;
  if (typeof minVersion === 'string' && isOlderVersion(APP_VERSION, minVersion)) {
    updateState.required = stored as RequiredUpdate;
  } else {
    await deleteMeta(META.updateRequired);
  }
}
