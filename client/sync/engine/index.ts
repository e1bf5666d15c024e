// The sync engine: the outbox and its push, the paged pull and its merge,
// the scheduler. It owns its port types and knows no feature: features
// describe their records through entity descriptors.
export { canResend, deadLetterDetail, type DeadLetter } from './dead-letters';
export { SyncEngine, type SyncEngineOptions } from './engine';
export { EntityRegistry, type EntityDescriptor, type Fields, type JsonColumn, type Verdict, type VerdictContext } from './entities';
export { CANNOT_RESEND, RemovedRecordError } from './outbox';
export type { SyncEngineCallbacks, SyncEngineControl, SyncPort, SyncStatus } from './ports';
export { dataEpochCheck, storedDataEpoch } from './pull';
export type { Send } from './transport';
