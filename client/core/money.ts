// Exact decimal formatting of amounts: big integers past what a double
// holds, half away from zero on the first dropped digit, and always Western
// digits with comma thousands and a point, whatever the language.

const NUMBER_TEXT = /^([+-]?)(\d*)(?:\.(\d*))?$/;
const IGNORED = /[\s,\u066C\u00A0]/g;
const EXACT_LIMIT = 9007199254740991n;

/** The value times 10^digits as a signed big integer, or null when it is not a number. */
export function parseScaled(value: unknown, digits = 2): bigint | null {
  let text: string;
  if (typeof value === 'number') {
    text = Number.isFinite(value) ? value.toFixed(Math.min(digits + 2, 20)) : '';
  } else {
    text = value === undefined || value === null ? '' : String(value);
    text = text.trim().replace(IGNORED, '');
  }
  const match = NUMBER_TEXT.exec(text);
  if (!match) return null;
  const [, sign, whole = '', fraction] = match;
  if (whole === '' && !fraction) return null;
  const padded = (fraction ?? '') + '0'.repeat(digits);
  let scaled = BigInt((whole || '0') + padded.slice(0, digits));
  if ((padded[digits] ?? '0') >= '5') scaled += 1n;
  return sign === '-' ? -scaled : scaled;
}

const formatters = new Map<number, Intl.NumberFormat>();

function formatterFor(digits: number): Intl.NumberFormat {
  let formatter = formatters.get(digits);
  if (!formatter) {
    formatter = new Intl.NumberFormat('en-US', { minimumFractionDigits: digits, maximumFractionDigits: digits });
    formatters.set(digits, formatter);
  }
  return formatter;
}

function group(whole: string): string {
  return whole.replace(/\B(?=(\d{3})+(?!\d))/g, ',');
}

export function formatAmount(value: unknown, digits: number): string {
  const scaled = parseScaled(value, digits) ?? 0n;
  const negative = scaled < 0n;
  const magnitude = negative ? -scaled : scaled;
  if (magnitude < EXACT_LIMIT) return formatterFor(digits).format(Number(scaled) / 10 ** digits);
  const text = magnitude.toString().padStart(digits + 1, '0');
  const whole = group(text.slice(0, text.length - digits));
  const fraction = digits > 0 ? '.' + text.slice(text.length - digits) : '';
  return (negative ? '-' : '') + whole + fraction;
}

/** An amount with exactly two decimals: 1234.5 gives "1,234.50". */
export function formatMoney(value: unknown): string {
  return formatAmount(value, 2);
}
