let context: AudioContext | null = null;

/** A short square-wave tone: high for a hit, low for a miss. Silent where audio is unavailable. */
export function beep(kind: 'ok' | 'miss'): void {
  try {
    context ??= new AudioContext();
    const oscillator = context.createOscillator();
    const gain = context.createGain();
    oscillator.type = 'square';
    oscillator.frequency.value = kind === 'ok' ? 1400 : 220;
    gain.gain.value = 0.05;
    oscillator.connect(gain).connect(context.destination);
    oscillator.start();
    oscillator.stop(context.currentTime + (kind === 'ok' ? 0.06 : 0.18));
  } catch {
    // No audio device: the scan field's flash remains.
  }
}
