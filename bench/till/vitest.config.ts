import { fileURLToPath } from 'node:url';
import vue from '@vitejs/plugin-vue';
import { defineConfig } from 'vitest/config';

// Runs the till benchmark over sql.js in Node; it imports the client's TypeScript.
export default defineConfig({
  // The till engine reaches the shell's services, whose index also exports components.
  plugins: [vue()],
  cacheDir: fileURLToPath(new URL('../../node_modules/.vite/bench-till', import.meta.url)),
  test: {
    root: fileURLToPath(new URL('.', import.meta.url)),
    include: ['till-node.ts'],
    environment: 'happy-dom',
    testTimeout: 1_800_000,
  },
});
