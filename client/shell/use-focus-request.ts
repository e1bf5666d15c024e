import { computed, nextTick, watch } from 'vue';
import { navigation } from './navigation';

/**
 * The record that the palette asks this screen to show: its uuid when the
 * focus request is of `kind`. On each new request the loader runs, then the
 * element carrying that data-uuid scrolls into the middle of the view.
 */
export function useFocusRequest(kind: string, loader?: (uuid: string) => void | Promise<void>) {
  const uuid = computed(() => (navigation.focus?.kind === kind ? navigation.focus.uuid : null));
  watch(
    () => navigation.focus,
    async (focus) => {
      if (!focus || focus.kind !== kind) return;
      await loader?.(focus.uuid);
      await nextTick();
      document
        .querySelector(`[data-uuid="${CSS.escape(focus.uuid)}"]`)
        ?.scrollIntoView({ behavior: 'smooth', block: 'center' });
    },
    { immediate: true },
  );
  return uuid;
}
