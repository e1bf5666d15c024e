export const BARCODE_SCANNED = 'barcode-scanned';

export type TextField = HTMLInputElement | HTMLTextAreaElement;

/**
 * Tells a keyboard-wedge scanner's burst from typing: characters less than
 * `maxGapMs` apart build one code, and Enter hands it to the window as
 * "barcode-scanned". Keys are watched in the capture phase and never
 * swallowed, so they still reach the focused field.
 *
 * `undoIn` names the fields a scan must not be typed into (a cart line's
 * quantity would take the code as its quantity): when a burst ends in such a
 * field, the field gets back the text it had before the burst and does not
 * see the Enter. A burst is only a guess (a busy machine delivers typed keys
 * together), so the caller decides by the field and the code.
 */
export function startScannerListener(
  maxGapMs = 30,
  minLength = 3,
  target: Window = window,
  now: () => number = () => performance.now(),
  undoIn: (field: TextField, code: string) => boolean = () => false,
): () => void {
  let buffer = '';
  let last = -Infinity;
  let before: { field: TextField; value: string } | null = null;
  const focusedField = (): TextField | null => {
    const active = target.document.activeElement;
    return active instanceof HTMLInputElement || active instanceof HTMLTextAreaElement ? active : null;
  };
  const onKey = (event: KeyboardEvent) => {
    const at = now();
    const gap = at - last;
    last = at;
    if (event.key === 'Enter') {
      const code = buffer;
      const typedInto = before;
      buffer = '';
      before = null;
      if (code.length < minLength) return;
      const field = focusedField();
      if (field && typedInto?.field === field && undoIn(field, code)) {
        event.preventDefault();
        event.stopPropagation();
        field.value = typedInto.value;
        field.dispatchEvent(new Event('input', { bubbles: true }));
      }
      target.dispatchEvent(new CustomEvent(BARCODE_SCANNED, { detail: code }));
      return;
    }
    if (event.key.length !== 1 || event.ctrlKey || event.metaKey || event.altKey) return;
    if (gap > maxGapMs) {
      buffer = event.key;
      // Seen before the key's own character lands in the field.
      const field = focusedField();
      before = field ? { field, value: field.value } : null;
    } else buffer += event.key;
  };
  target.addEventListener('keydown', onKey, true);
  return () => target.removeEventListener('keydown', onKey, true);
}
