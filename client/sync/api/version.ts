/**
 * True when version `a` is older than `b`. Only the first three pieces (split
 * at "." and "-") count; a missing piece is 0; the comparison stops, false, at
 * the first piece that is not a number.
 */
export function isOlderVersion(a: string, b: string): boolean {
  const pieces = (v: string) => v.split(/[.-]/).slice(0, 3);
  const left = pieces(a);
  const right = pieces(b);
  for (let i = 0; i < 3; i++) {
    const x = left[i] === undefined ? 0 : Number(left[i]);
    const y = right[i] === undefined ? 0 : Number(right[i]);
    if (Number.isNaN(x) || Number.isNaN(y) || left[i] === '' || right[i] === '') return false;
    if (x !== y) return x < y;
  }
  return false;
}
