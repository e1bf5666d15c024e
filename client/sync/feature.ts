import type { ModuleManifest, PaletteActionManifest, SearchBranch } from '../shell';
import type { TableSpec } from '../storage';
import type { EntityDescriptor } from './engine';

/**
 * What a feature folder's index.ts exports: its modules, what it adds to the
 * palette, the local tables it owns and the records it syncs. The app builds
 * the module registry, the routes, the palette, the table catalogue and the
 * engine's entities from the list of these.
 */
export interface FeatureManifest {
  name: string;
  modules?: readonly ModuleManifest[];
  paletteActions?: readonly PaletteActionManifest[];
  search?: readonly SearchBranch[];
  tables?: readonly TableSpec[];
  entities?: readonly EntityDescriptor[];
}
