const pad = (n: number) => String(n).padStart(2, '0');

/**
 * The local calendar day a stored value belongs to. A bare date is already a
 * local day (the till and the forms write local dates); a time stamp is UTC
 * and lands on the day the clock on the wall showed.
 */
export function localDayOf(value: unknown): string | null {
  if (typeof value !== 'string' || value.length < 10) return null;
  if (value.length === 10) return value;
  const at = new Date(value);
  if (Number.isNaN(at.getTime())) return value.slice(0, 10);
  return `${at.getFullYear()}-${pad(at.getMonth() + 1)}-${pad(at.getDate())}`;
}

/** The UTC dates a local day's time stamps can carry, for a coarse filter in SQL before `localDayOf`. */
export function utcDatesAround(day: string): [string, string] {
  const at = new Date(`${day}T12:00:00Z`);
  const shift = (days: number) => new Date(at.getTime() + days * 86_400_000).toISOString().slice(0, 10);
  return [shift(-1), shift(1)];
}
