import { createApp } from 'vue';
import App from './App.vue';
import { bridgeKind, exposeTestHook } from './bridge';
import { unlockAudioOnFirstInput } from './shell';
import { exposeShellTestHook } from './shell/test-hook';
import { exposeStorageTestHook } from './storage/test-hook';

if (bridgeKind() === 'serve') {
  exposeTestHook();
  exposeShellTestHook();
  exposeStorageTestHook();
}

unlockAudioOnFirstInput();
// App opens the local database and applies the saved language before any
// screen shows.
createApp(App).mount('#app');
