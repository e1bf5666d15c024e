import { createApp } from 'vue';
import App from './App.vue';
import { bridgeKind, exposeTestHook, hasHostBridge, invoke } from './bridge';

if (bridgeKind() === 'serve') exposeTestHook();

createApp(App).mount('#app');

// The first storage action of every run: the host opens (or creates) the
// encrypted database. The schema and the rest of the boot build on it.
if (hasHostBridge()) {
  invoke('db_open', {}).catch((message: unknown) => {
    console.error('cannot open the local database:', message);
  });
}
