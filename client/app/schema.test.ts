import { describe } from 'vitest';
import { connectLocalDb } from '../storage';
import { createMemoryBackend, schemaCases } from '../storage/testing';
import { catalogue } from './features';

describe('schema and migrations over sql.js', () => {
  schemaCases(async () => connectLocalDb(await createMemoryBackend()), catalogue);
});
