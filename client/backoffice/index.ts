// The back office: clients and their accounts, products and stock,
// expenses, payables, treasury, the owner's overview, notes.
export { clients } from './clients';
export { expenses } from './expenses';
export { notes } from './notes';
export { overview } from './overview';
export { payables } from './payables';
export { products } from './products';
export { treasury } from './treasury';
