export const BARCODE_SCANNED = 'barcode-scanned';

/**
 * Tells a keyboard-wedge scanner's burst from typing: characters less than
 * `maxGapMs` apart build one code, and Enter hands it to the window as
 * "barcode-scanned". Keys are watched in the capture phase and never
 * swallowed, so they still reach the focused field.
 */
export function startScannerListener(
  maxGapMs = 30,
  minLength = 3,
  target: Window = window,
  now: () => number = () => performance.now(),
): () => void {
  let buffer = '';
  let last = -Infinity;
  const onKey = (event: KeyboardEvent) => {
    const at = now();
    const gap = at - last;
    last = at;
    if (event.key === 'Enter') {
      const code = buffer;
      buffer = '';
      if (code.length >= minLength) target.dispatchEvent(new CustomEvent(BARCODE_SCANNED, { detail: code }));
      return;
    }
    if (event.key.length !== 1 || event.ctrlKey || event.metaKey || event.altKey) return;
    buffer = gap > maxGapMs ? event.key : buffer + event.key;
  };
  target.addEventListener('keydown', onKey, true);
  return () => target.removeEventListener('keydown', onKey, true);
}
