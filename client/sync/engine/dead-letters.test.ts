import { describe, expect, it } from 'vitest';
import { entities } from '../../app/features';
import { canResend, deadLetterDetail } from './dead-letters';

describe('a refused change on the attention card', () => {
  it.each([
    ['{"message":"Price is required","errors":{"price":["x"]}}', 'invalid', 'Price is required'],
    ['{"errors":{"price":["required","positive"],"name":"too long"}}', 'invalid', 'required positive too long'],
    ['{"status":"rejected"}', 'forbidden', 'forbidden'],
    ['not json', null, 'rejected'],
  ])('shows %s as its detail', (detail_json, reason, shown) => {
    expect(deadLetterDetail({ detail_json, reason })).toBe(shown);
  });

  it.each([
    ['pos_sale', 'invalid', true],
    ['pos_sale', 'locked', false],
    ['client', 'uuid_taken', true],
    ['invoice', 'invalid', false],
  ])('offers resending a %s refused as %s: %s', (entity, reason, offered) => {
    expect(canResend(entities, { entity, reason })).toBe(offered);
  });
});
