import type { Component } from 'vue';

export type Role = 'owner' | 'cashier';

/** One module of the window: a tab, a route, a screen. */
export interface ModuleManifest {
  key: string;
  /** An English text, looked up with `translate`. */
  label: string;
  roles: readonly Role[];
  /** Reachable from shortcuts and routes, not from the tab bar. */
  rail?: boolean;
  /** Works only against the server. */
  online?: boolean;
  /** The business type may rename it (the profile's vertical labels). */
  verticalLabel?: boolean;
  /** A named route ("/" + name) that opens the module. */
  route?: { name: string; icon: string };
  /** The screen, loaded when first shown; a module without one says that it is coming. */
  screen?: () => Promise<{ default: Component }>;
}

/** A palette action: opens a module, and on it one record when `focus` names it. */
export interface PaletteActionManifest {
  key: string;
  /** An English text, looked up with `translate`. */
  title: string;
  module: string;
  focus?: { kind: string; uuid: string };
}

/**
 * One branch of the palette's record search: a SELECT naming its columns
 * kind, uuid, title, sub, amount and hay, over one kind of record; `hay` is
 * the text the terms are matched in.
 */
export interface SearchBranch {
  kind: string;
  /** The module that shows a found record. */
  module: string;
  icon: string;
  sql: string;
}
