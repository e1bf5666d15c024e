// Exact decimal formatting of amounts: big-integer text arithmetic for every
// value, one rounding (half away from zero on the first dropped digit), and
// always Western digits with comma thousands and a point, whatever the
// language.

const NUMBER_TEXT = /^([+-]?)(\d*)(?:\.(\d*))?$/;
const EXPONENT_TEXT = /^(-?)(\d+)(?:\.(\d+))?e([+-]\d+)$/;
const IGNORED = /[\s,\u066C\u00A0]/g;

/**
 * A number as plain decimal text. The shortest text that reads back as the
 * same number is what the number stands for (1.0049999 stays 1.0049999, not
 * 1.0050), and exponent forms (1e21, 5e-7) are spelt out.
 */
function numberText(value: number): string {
  if (!Number.isFinite(value)) return '';
  const text = String(value);
  const match = EXPONENT_TEXT.exec(text);
  if (!match) return text;
  const [, sign, whole = '', fraction = '', exponentText = '0'] = match;
  const digits = whole + fraction;
  const point = whole.length + Number(exponentText);
  if (point <= 0) return `${sign}0.${'0'.repeat(-point)}${digits}`;
  if (point >= digits.length) return sign + digits + '0'.repeat(point - digits.length);
  return `${sign}${digits.slice(0, point)}.${digits.slice(point)}`;
}

/** The value times 10^digits as a signed big integer, or null when it is not a number. */
export function parseScaled(value: unknown, digits = 2): bigint | null {
  let text: string;
  if (typeof value === 'number') text = numberText(value);
  else text = (value === undefined || value === null ? '' : String(value)).trim().replace(IGNORED, '');
  const match = NUMBER_TEXT.exec(text);
  if (!match) return null;
  const [, sign, whole = '', fraction] = match;
  if (whole === '' && !fraction) return null;
  const padded = (fraction ?? '') + '0'.repeat(digits);
  let scaled = BigInt((whole || '0') + padded.slice(0, digits));
  if ((padded[digits] ?? '0') >= '5') scaled += 1n;
  return sign === '-' ? -scaled : scaled;
}

const group = (whole: string) => whole.replace(/\B(?=(\d{3})+(?!\d))/g, ',');

/** An amount with exactly `digits` decimals, exact at every size; unreadable input shows as zero. */
export function formatAmount(value: unknown, digits: number): string {
  const scaled = parseScaled(value, digits) ?? 0n;
  const negative = scaled < 0n;
  const text = (negative ? -scaled : scaled).toString().padStart(digits + 1, '0');
  const whole = group(text.slice(0, text.length - digits));
  const fraction = digits > 0 ? '.' + text.slice(text.length - digits) : '';
  return (negative ? '-' : '') + whole + fraction;
}

/** An amount with two decimals, or as many as its currency's record asks: 1234.5 gives "1,234.50". */
export function formatMoney(value: unknown, digits = 2): string {
  return formatAmount(value, digits);
}

const MAX_DIGITS = 4;

/**
 * How many decimals a currency shows: two, unless the company's currency
 * record states its own `decimals` (0 to 4). Without a code, the base
 * currency's record answers. Amounts are kept and computed unrounded; only
 * their display uses this.
 */
export function currencyDigits(tenant: unknown, code?: string | null): number {
  const currencies = tenant && typeof tenant === 'object' ? (tenant as { currencies?: unknown }).currencies : null;
  if (!Array.isArray(currencies)) return 2;
  const records = currencies.filter((c): c is Record<string, unknown> => !!c && typeof c === 'object');
  const record = code ? records.find((c) => c.code === code) : records.find((c) => c.base === true);
  const decimals = record?.decimals;
  return typeof decimals === 'number' && Number.isInteger(decimals) && decimals >= 0 && decimals <= MAX_DIGITS
    ? decimals
    : 2;
}

/** Money rounded to cents, exactly as the decimal text reads (10.005 gives 10.01). */
export function roundCents(value: number): number {
  const scaled = parseScaled(value, 2);
  return scaled === null ? 0 : Number(scaled) / 100;
}
