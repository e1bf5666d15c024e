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
    include: ['**/*.test.ts'],
    exclude: ['dist/**', 'node_modules/**'],
  },
});
