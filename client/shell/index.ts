// Services and shared UI that every screen may use: languages, toasts,
// notifications, sounds, the theme, navigation state, live queries.
export {
  applyLanguage,
  isLanguage,
  language,
  loadLanguage,
  setLanguage,
  translatable,
  translate,
  type Language,
} from './language';
export { bumpDataRevision, dataRevision } from './data-revision';
export { goTo, navigation, type FocusRequest } from './navigation';
export {
  addNotification,
  categoryOf,
  clearNotifications,
  markAllRead,
  notificationStore,
  raiseNotification,
  type NotificationCategory,
  type NotificationEntry,
  type NotificationRecord,
} from './notifications';
export { isMuted, playSound, setMuted, soundFor, unlockAudioOnFirstInput, type SoundName } from './sounds';
export { ensureNotificationPermission } from './system-notification';
export { applyTheme, THEME } from './theme';
export { cleanFileName, saveFile } from './save-file';
export { mailLink, shareText, whatsAppLink } from './share';
export { clearToasts, showToast, toasts } from './toasts';
export { useFocusRequest } from './use-focus-request';
export { useLiveQuery, type LiveQuery } from './use-live-query';
export { exposeShellTestHook } from './test-hook';
export { default as LanguageButton } from './LanguageButton.vue';
export { default as NotificationCenter } from './NotificationCenter.vue';
export { default as SplashScreen } from './SplashScreen.vue';
export { default as ToastStack } from './ToastStack.vue';
export { default as TovikLogo } from './TovikLogo.vue';
export type { ModuleManifest, PaletteActionManifest, Role, SearchBranch } from './module-manifest';
