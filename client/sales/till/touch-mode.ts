import { ref, type Ref } from 'vue';

export interface TouchMode {
  on: Ref<boolean>;
  toggle(): Promise<void>;
  /** Leaves touch mode and full screen (the till is going away). */
  stop(): void;
}

/**
 * The till's touch layout, shown full screen. Leaving full screen any other
 * way (Escape, the window manager) leaves the touch layout too, so the button
 * never claims a mode the screen is not in. A web view that refuses full
 * screen still gets the touch layout.
 */
export function useTouchMode(doc: Document = document): TouchMode {
  const on = ref(false);
  const followFullscreen = () => {
    if (!doc.fullscreenElement && on.value) on.value = false;
  };
  let listening = false;

  async function enter(): Promise<void> {
    on.value = true;
    if (!listening) {
      doc.addEventListener('fullscreenchange', followFullscreen);
      listening = true;
    }
    try {
      await doc.documentElement.requestFullscreen?.();
    } catch {
      // No full screen here: the larger layout is still worth having.
    }
  }

  async function leave(): Promise<void> {
    on.value = false;
    if (doc.fullscreenElement) await doc.exitFullscreen().catch(() => {});
  }

  return {
    on,
    toggle: () => (on.value ? leave() : enter()),
    stop() {
      doc.removeEventListener('fullscreenchange', followFullscreen);
      listening = false;
      void leave();
    },
  };
}
