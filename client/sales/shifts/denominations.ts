const DENOMINATIONS: Readonly<Record<string, readonly number[]>> = {
  LYD: [50, 20, 10, 5, 1, 0.5, 0.25],
  USD: [100, 50, 20, 10, 5, 1, 0.25, 0.1],
  EUR: [200, 100, 50, 20, 10, 5, 2, 1, 0.5, 0.2],
  GBP: [50, 20, 10, 5, 2, 1, 0.5, 0.2],
  EGP: [200, 100, 50, 20, 10, 5, 1],
  TND: [50, 20, 10, 5, 1],
};

const OTHER = [100, 50, 20, 10, 5, 1];

/** The notes and coins offered for counting a currency, largest first. */
export function cashDenominations(code: string): readonly number[] {
  return DENOMINATIONS[code] ?? OTHER;
}
