import type { LocalDb } from '../../storage';

export interface WeighedCode {
  plu: string;
  weightKg?: number;
  price?: number;
}

/** An EAN-13 in-store code: "2", a digit, a 5-digit PLU, a 5-digit value, the check digit. */
export function parseWeighedBarcode(code: string, mode: 'weight' | 'price' = 'weight'): WeighedCode | null {
  const text = code.trim();
  if (!/^2\d{12}$/.test(text)) return null;
  const digits = [...text].map(Number);
  const sum = digits.slice(0, 12).reduce((s, d, i) => s + d * (i % 2 === 0 ? 1 : 3), 0);
  if ((10 - (sum % 10)) % 10 !== digits[12]) return null;
  const plu = text.slice(2, 7);
  const value = Number(text.slice(7, 12));
  if (value === 0) return null;
  return mode === 'weight' ? { plu, weightKg: value / 1000 } : { plu, price: value / 100 };
}

/** A SKU of digits names the PLU when both agree without leading zeros; an all-zero code names nothing. */
export function pluMatches(sku: string | null | undefined, plu: string): boolean {
  const text = (sku ?? '').trim();
  if (!/^\d+$/.test(text) || !/^\d+$/.test(plu)) return false;
  const a = text.replace(/^0+/, '');
  return a !== '' && a === plu.replace(/^0+/, '');
}

/** A card identifier as its hash binds it: letters and digits only, upper case, 4 to 32 of them. */
export function normaliseCardId(id: string): string | null {
  const text = id.replace(/[^A-Za-z0-9]/g, '').toUpperCase();
  return text.length >= 4 && text.length <= 32 ? text : null;
}

export async function cardHash(tenantId: number, normalised: string): Promise<string | null> {
  const subtle = globalThis.crypto?.subtle;
  if (!subtle) return null;
  const bytes = new TextEncoder().encode(`tovik-card:v1:${tenantId}:${normalised}`);
  const digest = new Uint8Array(await subtle.digest('SHA-256', bytes));
  return [...digest].map((b) => b.toString(16).padStart(2, '0')).join('');
}

export interface StoreCard {
  uuid: string;
  hash: string;
  status: string;
  offline_limit?: number | null;
  last4?: string;
}

export type CardClient = {
  uuid: string;
  name: string;
  phone: string | null;
  whatsapp_number: string | null;
  email: string | null;
  wallet_balance: number;
  loyalty_points: number;
};

function cardsOf(text: unknown): StoreCard[] {
  try {
    const list: unknown = JSON.parse(typeof text === 'string' ? text : '[]');
    return Array.isArray(list) ? (list as StoreCard[]) : [];
  } catch {
    return [];
  }
}

/** The customer who owns a store card, with the card; null when no customer of this tenant does. */
export async function findCardHolder(
  db: LocalDb,
  tenantId: unknown,
  id: string,
): Promise<{ client: CardClient; card: StoreCard } | null> {
  const normalised = normaliseCardId(id);
  if (!normalised || typeof tenantId !== 'number' || !Number.isFinite(tenantId)) return null;
  const hash = await cardHash(tenantId, normalised);
  if (!hash) return null;
  const rows = await db.select(
    'SELECT uuid, name, phone, whatsapp_number, email, wallet_balance, loyalty_points, wallet_cards FROM clients ' +
      'WHERE deleted = 0 AND wallet_cards LIKE ?',
    [`%${hash}%`],
  );
  for (const row of rows) {
    const card = cardsOf(row.wallet_cards).find((c) => c && c.hash === hash);
    if (!card) continue;
    const { wallet_cards: _, ...client } = row;
    return { client: client as unknown as CardClient, card };
  }
  return null;
}

/**
 * Whether a card may pay `amount` (base currency). Offline, `spentOffline` is
 * what the card already paid in sales the server has not seen: the limit
 * covers all of them together.
 */
export function checkStoreCard(card: StoreCard, amount: number, balance: number, online: boolean, spentOffline = 0): string {
  if (card.status !== 'active') return 'This card is blocked';
  if (balance + 0.001 < amount) return 'Not enough wallet balance';
  if (online) return '';
  const limit = Number(card.offline_limit ?? 0) || 0;
  if (limit <= 0) return 'This card works only with a connection';
  if (spentOffline + amount > limit + 0.001) return "Above this card's limit with no connection";
  return '';
}

/** Web NFC is not offered by the window's web view; card readers type like scanners instead. */
export function nfcAvailable(): Promise<boolean> {
  return Promise.resolve(typeof (globalThis as { NDEFReader?: unknown }).NDEFReader === 'function');
}

export function readCardId(): Promise<string> {
  return Promise.reject(new Error('This device cannot read cards'));
}

export function cancelCardRead(): void {}
