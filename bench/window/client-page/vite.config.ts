// The window benchmark's page: the client's own storage and sync modules,
// bundled like the client (relative paths, every asset a file).
import { fileURLToPath } from 'node:url';
import vue from '@vitejs/plugin-vue';
import { defineConfig } from 'vite';

export default defineConfig({
  root: fileURLToPath(new URL('.', import.meta.url)),
  cacheDir: fileURLToPath(new URL('../../../node_modules/.vite/window-bench', import.meta.url)),
  base: './',
  plugins: [vue()],
  logLevel: 'warn',
  build: { emptyOutDir: true, assetsInlineLimit: 0 },
});
