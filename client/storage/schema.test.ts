import { describe } from 'vitest';
import { LocalDb } from './local-db';
import { schemaCases } from './schema-suite';
import { createSqlJsBackend } from './sqljs-backend';

describe('schema and migrations over sql.js', () => {
  schemaCases(async () => new LocalDb(await createSqlJsBackend()));
});
