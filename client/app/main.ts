import { createApp } from 'vue';
import { bridgeKind, exposeTestHook } from '../bridge';
import { exposeShellTestHook, unlockAudioOnFirstInput } from '../shell';
import { exposeStorageTestHook } from '../storage';
import App from './App.vue';
import { createShellRouter } from './navigation/router';
import { exposeSyncTestHook } from './sync-test-hook';

if (bridgeKind() === 'serve') {
  exposeTestHook();
  exposeShellTestHook();
  exposeStorageTestHook();
  exposeSyncTestHook();
}

unlockAudioOnFirstInput();
// App boots the client (the local database, the language, a saved session)
// before any screen but the splash shows.
createApp(App).use(createShellRouter()).mount('#app');
