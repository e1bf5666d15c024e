import { afterEach, describe, expect, it, vi } from 'vitest';

afterEach(() => {
  vi.unstubAllGlobals();
  vi.resetModules();
});

describe('audio unlock', () => {
  it('wakes the audio context on the first input only', async () => {
    const resume = vi.fn(async () => {});
    const made = vi.fn();
    vi.stubGlobal(
      'AudioContext',
      class {
        state = 'suspended';
        resume = resume;
        constructor() {
          made();
        }
      },
    );
    const { unlockAudioOnFirstInput } = await import('./sounds');
    unlockAudioOnFirstInput();
    expect(made).not.toHaveBeenCalled();
    window.dispatchEvent(new KeyboardEvent('keydown'));
    window.dispatchEvent(new Event('pointerdown'));
    window.dispatchEvent(new Event('touchstart'));
    expect(made).toHaveBeenCalledTimes(1);
    expect(resume).toHaveBeenCalledTimes(1);
  });
});
