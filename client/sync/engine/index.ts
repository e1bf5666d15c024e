export { SyncEngine, type SyncEngineOptions } from './engine';
export { ENTITY_TABLES, PULLED_ENTITIES, type Entity } from './entities';
export { CANNOT_RESEND } from './outbox';
export { dataEpochCheck, storedDataEpoch } from './pull';
export { sendThroughApi } from './transport';
export { uuidv7 } from './uuid';
export { engineHooks, syncEngine } from './session-hooks';
export { canResend, deadLetterDetail, type DeadLetter } from './dead-letters';
