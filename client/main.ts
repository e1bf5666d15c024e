import { createApp } from 'vue';
import App from './App.vue';
import { bridgeKind, exposeTestHook } from './bridge';

if (bridgeKind() === 'serve') exposeTestHook();

createApp(App).mount('#app');
