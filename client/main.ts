import { createApp } from 'vue';
import App from './App.vue';
import { bridgeKind, exposeTestHook } from './bridge';
import { unlockAudioOnFirstInput } from './shell';
import './shell/frame/fonts';
import { createShellRouter } from './shell/frame/router';
import './shell/frame/theme.css';
import { exposeShellTestHook } from './shell/test-hook';
import { exposeStorageTestHook } from './storage/test-hook';
import { exposeSyncTestHook } from './sync/engine/test-hook';

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
