import type { EntityDescriptor, Fields } from './entities';

const BOOKKEEPING = ['uuid', 'server_id', 'version', 'dirty', 'deleted', 'local_updated_at'];

function parsedList(text: unknown): unknown {
  if (typeof text !== 'string' || text === '') return [];
  try {
    return JSON.parse(text);
  } catch {
    return [];
  }
}

/** What travels to the server for a local record: no sync bookkeeping, JSON columns as their fields. */
export function payload(descriptor: EntityDescriptor, data: Fields): Fields {
  const json = descriptor.jsonColumns ?? [];
  const local = new Set([...BOOKKEEPING, ...json.map((c) => c.column)]);
  const out: Fields = {};
  for (const [key, value] of Object.entries(data)) if (!local.has(key)) out[key] = value;
  for (const column of json) {
    if (!column.send) continue;
    const value = data[column.column];
    // Text as stored, or the lines themselves (stored as JSON text all the same).
    if (typeof value === 'string') out[column.field] = parsedList(value);
    else if (value !== undefined && value !== null) out[column.field] = value;
  }
  return descriptor.toPayload ? descriptor.toPayload(data, out) : out;
}
