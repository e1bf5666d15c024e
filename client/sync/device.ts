import { openLocalDb } from '../storage';
import { RUNTIME_WORD } from './deployment';
import { uuidv7 } from './engine/uuid';
import { readMeta } from './meta';

/** This installation's id (meta "device_id"), made on first use. */
export async function deviceId(): Promise<string> {
  const stored = await readMeta('device_id');
  if (stored) return stored;
  const id = uuidv7();
  const db = await openLocalDb();
  try {
    await db.execute("INSERT INTO meta (key, value) VALUES ('device_id', ?)", [id]);
    return id;
  } catch (error) {
    // Made at the same moment by another caller: theirs is the one.
    const winner = await readMeta('device_id');
    if (winner) return winner;
    throw error;
  }
}

/** How this device is named in the user's list of signed-in devices. */
export async function deviceName(): Promise<string> {
  return `TOVIK pro · ${RUNTIME_WORD} · ${(await deviceId()).slice(-8)}`;
}
