import { ref } from 'vue';

// Moves on whenever local data changed under the screens (a sync run, a
// sign-out), so that lists read again.
const revision = ref(0);

export const dataRevision = (): number => revision.value;

export function bumpDataRevision(): void {
  revision.value++;
}
