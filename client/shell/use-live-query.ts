import { onMounted, ref, shallowRef, watch, type Ref, type WatchSource } from 'vue';
import type { Row } from '../bridge';
import { openLocalDb, type SqlParam } from '../storage';
import { dataRevision } from './data-revision';

export interface LiveQuery<T extends Row> {
  rows: Ref<T[]>;
  loading: Ref<boolean>;
  error: Ref<string>;
  load(): Promise<void>;
}

/**
 * Rows of a query that re-reads when the screen opens, after every sync run
 * (the data revision) and whenever one of `also` changes.
 */
export function useLiveQuery<T extends Row = Row>(
  query: () => { sql: string; params?: SqlParam[] },
  also: WatchSource[] = [],
): LiveQuery<T> {
  const rows = shallowRef<T[]>([]);
  const loading = ref(false);
  const error = ref('');
  let generation = 0;

  async function load() {
    // Only the latest of overlapping loads may land.
    const mine = ++generation;
    loading.value = true;
    try {
      const { sql, params = [] } = query();
      const result = await (await openLocalDb()).select<T>(sql, params);
      if (mine === generation) {
        rows.value = result;
        error.value = '';
      }
    } catch (failure) {
      if (mine === generation) error.value = typeof failure === 'string' ? failure : String(failure);
    } finally {
      if (mine === generation) loading.value = false;
    }
  }

  onMounted(load);
  watch([dataRevision, ...also], () => void load());
  return { rows, loading, error, load };
}
