import { dataEpochKey, META, wipeCompanyData, type LocalDb } from '../../storage';
import type { EntityRegistry, Fields } from './entities';
import { Merge } from './merge';

export const PULL_PAGE = 500;

/** The pull request's path; the cursor only once one is stored. */
export function pullPath(entities: EntityRegistry, cursor: string | null): string {
  const query = new URLSearchParams({ limit: String(PULL_PAGE), entities: entities.pulled.join(',') });
  if (cursor !== null) query.set('cursor', cursor);
  return `/sync/pull?${query.toString()}`;
}

/** The cursor a page leaves behind, as it is stored. */
export function pageCursor(page: Record<string, unknown>): string | null {
  return typeof page.cursor === 'string' || typeof page.cursor === 'number' ? String(page.cursor) : null;
}

export class MalformedPageError extends Error {
  constructor() {
    super('The server sent an incomplete sync page.');
    this.name = 'MalformedPageError';
  }
}

export interface PageTally {
  adopted: number;
  deleted: number;
  hasMore: boolean;
}

/**
 * Applies one page: changes, then deletions, then the cursor, all inside the
 * caller's transaction so the cursor never moves without its data.
 */
export async function applyPage(
  db: LocalDb,
  entities: EntityRegistry,
  page: Record<string, unknown>,
): Promise<PageTally> {
  const { changes, deleted } = page;
  if (!changes || typeof changes !== 'object' || Array.isArray(changes) || !Array.isArray(deleted))
    throw new MalformedPageError();
  const tally: PageTally = { adopted: 0, deleted: 0, hasMore: page.has_more === true };
  const merge = new Merge(db, entities);
  const pulled = entities.pulled;
  for (const [entity, records] of Object.entries(changes as Record<string, unknown>)) {
    if (!pulled.includes(entity) || !Array.isArray(records)) continue;
    const valid = records.filter((r): r is Fields => !!r && typeof r === 'object' && !Array.isArray(r));
    await merge.prepare(entity, valid.map((r) => r.uuid).filter((u): u is string => typeof u === 'string' && u !== ''));
    for (const record of valid) if (merge.adopt(entity, record, false)) tally.adopted++;
  }
  for (const gone of deleted as unknown[]) {
    const { entity, uuid } = (gone ?? {}) as Fields;
    if (!entities.has(entity) || typeof uuid !== 'string') continue;
    merge.rows.removeQueued(entity, uuid);
    merge.remove(entity, uuid);
    tally.deleted++;
  }
  const cursor = pageCursor(page);
  if (cursor !== null)
    merge.rows.also({ sql: 'INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)', params: [META.pullCursor, cursor] });
  await merge.flush();
  return tally;
}

export async function readCursor(db: LocalDb): Promise<string | null> {
  const [row] = await db.select<{ value: string | null }>('SELECT value FROM meta WHERE key = ?', [META.pullCursor]);
  return row?.value ?? null;
}

const present = (value: unknown) => value !== undefined && value !== null && value !== '';

/** The data epoch last seen for a tenant, or null. */
export async function storedDataEpoch(db: LocalDb, tenantId: unknown): Promise<string | null> {
  if (!present(tenantId)) return null;
  const [row] = await db.select<{ value: string | null }>('SELECT value FROM meta WHERE key = ?', [dataEpochKey(tenantId)]);
  return row?.value ?? null;
}

/**
 * Compares the platform's data epoch with the one last seen. A different one
 * means the platform replaced the business's data: the local copy, the
 * company's queued changes made against the old data and its dead letters
 * go; other companies' queued work stays. Returns
 * whether that happened.
 */
export async function dataEpochCheck(
  db: LocalDb,
  companyTables: readonly string[],
  tenantId: unknown,
  epoch: unknown,
  companyId: string,
): Promise<boolean> {
  if (!present(tenantId) || !present(epoch)) return false;
  const text = String(epoch);
  return db.transaction(async (db) => {
    const [row] = await db.select<{ value: string | null }>('SELECT value FROM meta WHERE key = ?', [dataEpochKey(tenantId)]);
    const stored = row?.value ?? null;
    if (stored === text) return false;
    if (stored !== null)
      await wipeCompanyData(db, { tables: companyTables, metaKeys: [META.pullCursor, META.lastSyncAt], queueOf: companyId });
    await db.execute('INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)', [dataEpochKey(tenantId), text]);
    return stored !== null;
  });
}
