import { uuidv7 } from '../../core';
import { META, openLocalDb, readMeta } from '../../storage';
import { RUNTIME_WORD } from './deployment';

/** This installation's id (meta "device_id"), made on first use. */
export async function deviceId(): Promise<string> {
  const stored = await readMeta(META.deviceId);
  if (stored) return stored;
  const id = uuidv7();
  const db = await openLocalDb();
  try {
    await db.execute('INSERT INTO meta (key, value) VALUES (?, ?)', [META.deviceId, id]);
    return id;
  } catch (error) {
    // Made at the same moment by another caller: theirs is the one.
    const winner = await readMeta(META.deviceId);
    if (winner) return winner;
    throw error;
  }
}

/** How this device is named in the user's list of signed-in devices. */
export async function deviceName(): Promise<string> {
  return `TOVIK pro · ${RUNTIME_WORD} · ${(await deviceId()).slice(-8)}`;
}
