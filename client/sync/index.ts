// Sync: the engine (outbox, push, pull, merge), the session (sign-in state,
// sign-outs, company switch) and the server API client. No screens here.
export * from './api';
export * from './engine';
export type { FeatureManifest } from './feature';
export * from './session';
