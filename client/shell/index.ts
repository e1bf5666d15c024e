export { applyLanguage, isLanguage, language, loadLanguage, setLanguage, translate, type Language } from './language';
export { formatAmount, formatMoney, parseScaled } from './money';
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
export { showToast } from './toasts';
