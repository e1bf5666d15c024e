// Short synthesised sounds through Web Audio, with a vibration where the
// device can. Every platform refusal is swallowed: a sound is never worth a
// failure.

import { wordsIn } from './words';

export type SoundName = 'sale' | 'payment' | 'warning' | 'error' | 'message' | 'info';

interface Tone {
  hz: number;
  start: number;
  duration: number;
  wave?: OscillatorType;
  peak?: number;
}

const SOUNDS: Record<SoundName, Tone[]> = {
  sale: [
    { hz: 660, start: 0, duration: 0.12 },
    { hz: 990, start: 0.11, duration: 0.2 },
  ],
  payment: [
    { hz: 784, start: 0, duration: 0.1 },
    { hz: 988, start: 0.09, duration: 0.1 },
    { hz: 1319, start: 0.18, duration: 0.25 },
  ],
  warning: [
    { hz: 880, start: 0, duration: 0.16, wave: 'triangle' },
    { hz: 622, start: 0.17, duration: 0.24, wave: 'triangle' },
  ],
  error: [{ hz: 196, start: 0, duration: 0.32, wave: 'sawtooth', peak: 0.12 }],
  message: [
    { hz: 1200, start: 0, duration: 0.06, peak: 0.22 },
    { hz: 1600, start: 0.05, duration: 0.08, peak: 0.16 },
  ],
  info: [{ hz: 740, start: 0, duration: 0.18 }],
};

const VIBRATIONS: Partial<Record<SoundName, number[]>> = {
  sale: [40],
  payment: [40, 40, 40],
  warning: [120, 60, 120],
  error: [300],
};

const MUTED_KEY = 'tovik.sound.muted';
const SILENT = 0.0001;

export function isMuted(): boolean {
  try {
    return localStorage.getItem(MUTED_KEY) === '1';
  } catch {
    return false;
  }
}

export function setMuted(muted: boolean): void {
  try {
    localStorage.setItem(MUTED_KEY, muted ? '1' : '0');
  } catch {
    // The choice lasts only as long as storage allows.
  }
}

export function soundFor(type: string | null | undefined, title: string): SoundName {
  const has = wordsIn(title);
  if (type === 'danger' || type === 'error') return 'error';
  if (has(['whatsapp', 'واتساب', 'message', 'رسالة', 'chat', 'محادثة'])) return 'message';
  if (type === 'warning' || has(['stock', 'مخزون', 'limit', 'حد', 'quota', 'باقة'])) return 'warning';
  if (has(['paid', 'payment', 'دفع', 'سداد', 'تحصيل', 'settle'])) return 'payment';
  if (type === 'success' || has(['sale', 'invoice', 'order', 'بيع', 'فاتورة', 'طلب'])) return 'sale';
  return 'info';
}

let context: AudioContext | null = null;

// The one output context, made on first use; null where there is no Web Audio.
function audioContext(): AudioContext | null {
  if (!context) {
    try {
      if (typeof AudioContext === 'undefined') return null;
      context = new AudioContext();
    } catch {
      return null;
    }
  }
  return context;
}

function wake(audio: AudioContext): void {
  if (audio.state === 'suspended') audio.resume().catch(() => {});
}

export function playSound(name: SoundName): void {
  if (isMuted()) return;
  const pattern = VIBRATIONS[name];
  if (pattern && typeof navigator.vibrate === 'function') {
    try {
      navigator.vibrate(pattern);
    } catch {
      // Some platforms throw instead of returning false.
    }
  }
  const audio = audioContext();
  if (!audio || audio.state === 'closed') return;
  wake(audio);
  try {
    const t0 = audio.currentTime + 0.01;
    for (const tone of SOUNDS[name]) {
      const start = t0 + tone.start;
      const end = start + tone.duration;
      const oscillator = audio.createOscillator();
      const gain = audio.createGain();
      oscillator.type = tone.wave ?? 'sine';
      oscillator.frequency.value = tone.hz;
      gain.gain.setValueAtTime(SILENT, start);
      gain.gain.exponentialRampToValueAtTime(tone.peak ?? 0.18, start + 0.015);
      gain.gain.exponentialRampToValueAtTime(SILENT, end);
      oscillator.connect(gain);
      gain.connect(audio.destination);
      oscillator.start(start);
      oscillator.stop(end + 0.02);
    }
  } catch {
    // A context that broke mid-way plays nothing more.
  }
}

const UNLOCK_EVENTS = ['pointerdown', 'keydown', 'touchstart'] as const;

/**
 * Browsers let audio start only after the user has touched the page: the
 * first press anywhere creates or wakes the context for later sounds.
 */
export function unlockAudioOnFirstInput(): void {
  const unlock = () => {
    for (const event of UNLOCK_EVENTS) window.removeEventListener(event, unlock);
    const audio = audioContext();
    if (audio) wake(audio);
  };
  for (const event of UNLOCK_EVENTS) window.addEventListener(event, unlock, { passive: true, once: true });
}
