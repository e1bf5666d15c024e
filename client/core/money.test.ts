import { describe, expect, it } from 'vitest';
import { currencyDigits, formatAmount, formatMoney, parseScaled } from './money';

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
    // Cents past 2^46 once went through a double and lost the last cent.
    ['90071992547408.07', '90,071,992,547,408.07'],
    ['70368744177664.01', '70,368,744,177,664.01'],
    [90071992547408.06, '90,071,992,547,408.06'],
    // Exponent forms of numbers are spelt out, not read as nothing.
    [1e21, '1,000,000,000,000,000,000,000.00'],
    [-1.5e21, '-1,500,000,000,000,000,000,000.00'],
    [5e-7, '0.00'],
    [5e-3, '0.01'],
    // One rounding only: the number's own digits, not a four-decimal copy of it.
    [1.0049999, '1.00'],
    [-1.0049999, '-1.00'],
  ])('formats %j as %s', (value, expected) => {
    expect(formatMoney(value)).toBe(expected);
  });

  it('agrees with a big-integer reference on random values at the size where doubles drift', () => {
    let seed = 12345;
    const next = () => (seed = (seed * 1103515245 + 12345) % 2 ** 31);
    const grouped = (n: bigint) => n.toString().replace(/\B(?=(\d{3})+(?!\d))/g, ',');
    for (let i = 0; i < 2000; i++) {
      // 7.0e13 to 9.0e13 with five decimals: cents far above 2^46.
      const micros = 7_000_000_000_000_000_000n + BigInt(next()) * 1_000_000_000n + BigInt(next() % 1_000_000_000);
      const negative = i % 2 === 1;
      const digits = micros.toString();
      const text = `${negative ? '-' : ''}${digits.slice(0, -5)}.${digits.slice(-5)}`;
      const cents = (micros + 500n) / 1000n;
      const expected = `${negative ? '-' : ''}${grouped(cents / 100n)}.${(cents % 100n).toString().padStart(2, '0')}`;
      expect(formatMoney(text), text).toBe(expected);
    }
  });
});

describe('parseScaled and other decimal counts', () => {
  it('looks only at the first dropped digit and rounds the magnitude', () => {
    expect(parseScaled('2.3449')).toBe(234n);
    expect(parseScaled('-2.345')).toBe(-235n);
    expect(parseScaled('7', 3)).toBe(7000n);
    expect(parseScaled('abc')).toBeNull();
  });

  it('formats three and zero decimals through the same path', () => {
    expect(formatAmount('1234.5678', 3)).toBe('1,234.568');
    expect(formatAmount('99999999999999999.9995', 3)).toBe('100,000,000,000,000,000.000');
    expect(formatMoney(0.0005, 3)).toBe('0.001');
    expect(formatAmount('-1234.5', 0)).toBe('-1,235');
  });

  const dinar = { code: 'LYD', base: true, decimals: 3 };
  it.each<[string, unknown, string | null, number]>([
    ['no currency list', { currency: 'LYD' }, null, 2],
    ['a record without decimals', { currencies: [{ code: 'LYD', base: true }] }, 'LYD', 2],
    ['the record of the code', { currencies: [dinar, { code: 'USD', decimals: 2 }] }, 'LYD', 3],
    ['the base record without a code', { currencies: [{ code: 'USD' }, dinar] }, null, 3],
    ['an unknown code', { currencies: [dinar] }, 'EUR', 2],
    ['a value out of range', { currencies: [{ ...dinar, decimals: 9 }] }, 'LYD', 2],
    ['a value that is not a whole number', { currencies: [{ ...dinar, decimals: '3' }] }, 'LYD', 2],
  ])('currency decimals: %s', (_name, tenant, code, expected) => {
    expect(currencyDigits(tenant, code)).toBe(expected);
  });
});
