// Plain TypeScript shared by every layer: exact money, time-ordered ids.
// No Vue, no I/O.
export { currencyDigits, formatAmount, formatMoney, parseScaled } from './money';
export { uuidv7 } from './uuid';
