// Plain TypeScript shared by every layer: exact money, document totals,
// time-ordered ids. No Vue, no I/O.
export { discountOf, documentTotals, type DiscountType, type DocumentTotals, type PricedLine } from './document-totals';
export { currencyDigits, formatAmount, formatMoney, parseScaled, roundCents } from './money';
export { uuidv7 } from './uuid';
