import { fileURLToPath } from 'node:url';
import vue from '@vitejs/plugin-vue';
import { defineConfig } from 'vitest/config';

export default defineConfig({
  // Tests import client modules whose public faces also export screens.
  plugins: [vue()],
  cacheDir: fileURLToPath(new URL('../node_modules/.vite/e2e', import.meta.url)),
  test: {
    root: fileURLToPath(new URL('.', import.meta.url)),
    include: ['**/*.test.ts'],
    environment: 'node',
    // Each file starts its own host and browser; one file at a time keeps
    // a shared two-core machine usable.
    fileParallelism: false,
    testTimeout: 60_000,
    hookTimeout: 60_000,
  },
});
