import { describe, expect, it } from 'vitest';
import { formatAmount, formatMoney, parseScaled } from './money';

describe('formatMoney', () => {
  it.each<[unknown, string]>([
    [1234.5, '1,234.50'],
    ['1,234.565', '1,234.57'],
    ['-0.005', '-0.01'],
    ['12a', '0.00'],
    ['', '0.00'],
    [undefined, '0.00'],
    [null, '0.00'],
    ['١٢٣', '0.00'],
    ['12345678901234567.891', '12,345,678,901,234,567.89'],
    ['-12345678901234567.895', '-12,345,678,901,234,567.90'],
    ['1 234,5', '12,345.00'],
    ['.5', '0.50'],
    ['+3', '3.00'],
    ['5.', '5.00'],
    ['.', '0.00'],
    [1.005, '1.01'],
    [0.285, '0.29'],
    [-2.5, '-2.50'],
    ['-0.004', '0.00'],
    ['1\u066C234\u00A0567.1', '1,234,567.10'],
    [Number.NaN, '0.00'],
    [Number.POSITIVE_INFINITY, '0.00'],
    ['1.2.3', '0.00'],
    ['0.12999', '0.13'],
  ])('formats %j as %s', (value, expected) => {
    expect(formatMoney(value)).toBe(expected);
  });
});

describe('parseScaled', () => {
  it('looks only at the first dropped digit and rounds the magnitude', () => {
    expect(parseScaled('2.3449')).toBe(234n);
    expect(parseScaled('-2.345')).toBe(-235n);
    expect(parseScaled('7', 3)).toBe(7000n);
    expect(parseScaled('abc')).toBeNull();
  });

  it('formats other digit counts through the same path', () => {
    expect(formatAmount('1234.5678', 3)).toBe('1,234.568');
    expect(formatAmount('99999999999999999.9995', 3)).toBe('100,000,000,000,000,000.000');
  });
});
