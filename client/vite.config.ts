import { fileURLToPath } from 'node:url';
import vue from '@vitejs/plugin-vue';
import { defineConfig } from 'vitest/config';

const root = fileURLToPath(new URL('.', import.meta.url));

export default defineConfig({
  root,
  // Caches belong with the installed packages, which git ignores.
  cacheDir: fileURLToPath(new URL('../node_modules/.vite/client', import.meta.url)),
  // The host serves the build from its own scheme and from a loopback port:
  // only relative asset paths work in both.
  base: './',
  plugins: [vue()],
  build: {
    outDir: 'dist',
    emptyOutDir: true,
    // Keep every asset a file: an inlined font would be a data: URL, which the
    // page's policy refuses (font-src falls back to 'self').
    assetsInlineLimit: 0,
  },
  test: {
    environment: 'happy-dom',
    // Unit tests never leave the machine: a followed link would be fetched.
    environmentOptions: {
      happyDOM: {
        settings: {
          navigation: {
            disableMainFrameNavigation: true,
            disableChildFrameNavigation: true,
            disableChildPageNavigation: true,
          },
        },
      },
    },
    // The host's page script is tested here too: it runs in the same kind of page.
    dir: fileURLToPath(new URL('..', import.meta.url)),
    include: ['client/**/*.test.ts', 'host/**/*.test.ts'],
    exclude: ['**/dist/**', '**/node_modules/**'],
  },
});
