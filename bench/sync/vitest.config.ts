import { fileURLToPath } from 'node:url';
import vue from '@vitejs/plugin-vue';
import { defineConfig } from 'vitest/config';

// Runs the Node-side sync benchmark, which imports the client's TypeScript
// (the features' manifests name their screens, hence the Vue plugin).
export default defineConfig({
  plugins: [vue()],
  cacheDir: fileURLToPath(new URL('../../node_modules/.vite/bench-sync', import.meta.url)),
  test: {
    root: fileURLToPath(new URL('.', import.meta.url)),
    include: ['sync-node.ts'],
    environment: 'node',
  },
});
