import { describe } from 'vitest';
import { LocalDb } from '../storage';
import { createMemoryBackend, schemaCases } from '../storage/testing';
import { catalogue } from './features';

describe('schema and migrations over sql.js', () => {
  schemaCases(async () => new LocalDb(await createMemoryBackend()), catalogue);
});
