import { reactive } from 'vue';

/** A request to open a screen on one record. */
export interface FocusRequest {
  kind: string;
  uuid: string;
  at: number;
}

/** Where the user is: the module on screen and the record a screen was asked to show. */
export const navigation = reactive({
  tab: 'invoices',
  focus: null as FocusRequest | null,
});

/** Opens a module, and on it one record when `focus` names it. */
export function goTo(tab: string, focus?: { kind: string; uuid: string }): void {
  navigation.tab = tab;
  if (focus) navigation.focus = { ...focus, at: Date.now() };
}
