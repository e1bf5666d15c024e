import { fileURLToPath } from 'node:url';
import { defineConfig } from 'vitest/config';

// Runs the Node-side sync benchmark, which imports the client's TypeScript.
export default defineConfig({
  cacheDir: fileURLToPath(new URL('../../node_modules/.vite/bench-sync', import.meta.url)),
  test: {
    root: fileURLToPath(new URL('.', import.meta.url)),
    include: ['pull-node.ts'],
    environment: 'node',
  },
});
