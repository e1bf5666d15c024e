import { describe, expect, it } from 'vitest';
import { useTouchMode } from './touch-mode';

/** A document whose full screen the test controls. */
function fakeDocument(refuses: boolean) {
  const listeners = new Set<() => void>();
  const doc = {
    fullscreenElement: null as object | null,
    documentElement: {
      requestFullscreen: async () => {
        if (refuses) throw new Error('not allowed');
        doc.fullscreenElement = doc.documentElement;
      },
    },
    exitFullscreen: async () => {
      doc.fullscreenElement = null;
      for (const l of listeners) l();
    },
    addEventListener: (_: string, l: () => void) => listeners.add(l),
    removeEventListener: (_: string, l: () => void) => listeners.delete(l),
    /** The user pressed Escape or the window manager left full screen. */
    leftFromOutside() {
      doc.fullscreenElement = null;
      for (const l of listeners) l();
    },
  };
  return doc;
}

describe('touch mode', () => {
  it('goes full screen with the touch layout and back', async () => {
    const doc = fakeDocument(false);
    const mode = useTouchMode(doc as unknown as Document);
    await mode.toggle();
    expect([mode.on.value, doc.fullscreenElement !== null]).toEqual([true, true]);
    await mode.toggle();
    expect([mode.on.value, doc.fullscreenElement]).toEqual([false, null]);
  });

  it('leaves the touch layout when full screen ends some other way', async () => {
    const doc = fakeDocument(false);
    const mode = useTouchMode(doc as unknown as Document);
    await mode.toggle();
    doc.leftFromOutside();
    expect(mode.on.value).toBe(false);
  });

  it('keeps the touch layout where full screen is refused', async () => {
    const doc = fakeDocument(true);
    const mode = useTouchMode(doc as unknown as Document);
    await mode.toggle();
    expect(mode.on.value).toBe(true);
    mode.stop();
    expect(mode.on.value).toBe(false);
  });
});
