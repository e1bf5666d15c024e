import type { EntityRegistry } from './entities';

export type DeadLetter = {
  op_id: string;
  entity: string;
  uuid: string;
  reason: string | null;
  detail_json: string | null;
  created_at: string;
};

/** A locked period never accepts the change, so resending it is not offered. */
export function canResend(entities: EntityRegistry, letter: Pick<DeadLetter, 'entity' | 'reason'>): boolean {
  return entities.has(letter.entity) && entities.get(letter.entity).resendable && letter.reason !== 'locked';
}

function flatten(value: unknown): string[] {
  if (value === null || value === undefined) return [];
  if (Array.isArray(value)) return value.flatMap(flatten);
  if (typeof value === 'object') return Object.values(value).flatMap(flatten);
  return [String(value)];
}

/** What the server said about a refused change: its message, else its field errors, else the reason. */
export function deadLetterDetail(letter: Pick<DeadLetter, 'detail_json' | 'reason'>): string {
  let detail: Record<string, unknown> = {};
  try {
    const parsed: unknown = JSON.parse(letter.detail_json ?? '{}');
    if (parsed && typeof parsed === 'object') detail = parsed as Record<string, unknown>;
  } catch {
    // A detail that is not JSON says nothing more than the reason.
  }
  if (typeof detail.message === 'string' && detail.message) return detail.message;
  const errors = flatten(detail.errors).join(' ');
  return errors || (letter.reason ?? 'rejected');
}
