import { describe } from 'vitest';
import { LocalDb } from '../storage';
import { schemaCases } from '../storage/schema-suite';
import { createMemoryBackend } from '../storage/testing';
import { catalogue } from './features';

describe('schema and migrations over sql.js', () => {
  schemaCases(async () => new LocalDb(await createMemoryBackend()), catalogue);
});
