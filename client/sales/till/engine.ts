import { uuidv7 } from '../../core';
import { translate } from '../../shell';
import { META, type LocalDb } from '../../storage';
import type { Fields, SyncPort } from '../../sync';
import type { SaleResult as ReceiptSale } from '../receipts';
import { discountOf, documentTotals, roundCents, roundGrams, type DiscountType, type Totals } from './amounts';
import { checkStoreCard, type CardClient, type StoreCard } from './barcodes';
import { verifyOverridePin, type OverridePin } from './pin';
import { localDay } from './today';

export type UnitKind = 'piece' | 'box';
export type OrderType = 'sale' | 'pickup' | 'delivery';
type Tenant = Record<string, unknown>;

/** A product as the till lists it; `stock` is the available stock. */
export type TillProduct = {
  uuid: string;
  name: string;
  sku: string | null;
  price: number;
  stock: number;
  type?: string | null;
  unit?: string | null;
  box_pieces?: number | null;
  box_price?: number | null;
  box_barcode?: string | null;
  is_non_depleting?: number | null;
};

export interface CartLine {
  product_uuid: string;
  name: string;
  sku: string | null;
  base_price: number;
  unit_price: number;
  quantity: number;
  tracks_stock: boolean;
  stock: number;
  override: boolean;
  unit_kind: UnitKind;
  unit_factor: number;
  product_name: string;
  piece_price: number;
  box_pieces: number;
  box_price: number | null;
  /** Sold by weight: the quantity is kilograms, kept to grams. */
  weighed: boolean;
}

export interface Cart {
  lines: CartLine[];
  discount: number;
  discountType: DiscountType;
  vatOn: boolean;
  vatRate: number;
  method: string;
  tendered: number | null;
  client: CardClient | null;
  redeemPoints: number;
  currency: string;
  card: StoreCard | null;
  formal: boolean;
}

export interface PaymentMethod {
  key: string;
  label: string;
  type: string;
  icon: string;
  color: string;
}

export interface HeldCart {
  id: string;
  at: string;
  label: string;
  lines: CartLine[];
  client: CardClient | null;
  discount: number;
  discountType: DiscountType;
  currency: string;
  orderType: OrderType;
}

/** The largest figures a sale may carry, as the server holds them. */
export const SALE_LIMITS = { quantity: 100_000, unitPrice: 100_000_000, total: 1_000_000_000 } as const;

/** A charged sale: what the receipt prints, with the till's own lines and client. */
export interface SaleResult extends Omit<ReceiptSale, 'lines' | 'client'> {
  lines: CartLine[];
  client: CardClient | null;
}

export interface Currency {
  code: string;
  symbol: string | null;
  rate: number;
  base?: boolean;
  default?: boolean;
}

/** What the till engine works against. */
export interface TillEnvironment {
  db: LocalDb;
  sync: SyncPort;
  tenant(): Tenant;
  /** The signed-in profile's feature flags. */
  features(): Record<string, unknown>;
  online(): boolean;
  shiftUuid(): string | null;
  now?(): Date;
}

/** What a client's unsynced sales already took, which the local balances do not show yet. */
interface PendingSpend {
  client: string | null;
  wallet: number;
  points: number;
  card: number;
}

export const HELD_LIMIT = 30;

const BUILT_IN_LOOKS: Record<string, Omit<PaymentMethod, 'key' | 'label'>> = {
  cash: { type: 'cash', icon: 'cash', color: '#059669' },
  card: { type: 'card', icon: 'card', color: '#2563eb' },
  transfer: { type: 'bank', icon: 'bank', color: '#475569' },
};

const record = (value: unknown): Record<string, unknown> =>
  value && typeof value === 'object' && !Array.isArray(value) ? (value as Record<string, unknown>) : {};
const num = (value: unknown, fallback = 0): number => {
  const n = typeof value === 'string' && value.trim() !== '' ? Number(value) : value;
  return typeof n === 'number' && Number.isFinite(n) ? n : fallback;
};
const boxCapable = (boxPieces: unknown) => num(boxPieces) >= 2;
const unitFactor = (line: CartLine) => (line.unit_kind === 'box' ? Math.max(1, line.unit_factor) : 1);
const piecesOfLine = (line: CartLine) => line.quantity * unitFactor(line);

/**
 * The till's model: one cart, its rules and totals, and the charge that turns
 * it into a queued sale with its stock held. Plain state: the screen wraps
 * the engine in Vue's `reactive`.
 */
export class TillEngine {
  cart: Cart;
  orderType: OrderType = 'sale';
  held: HeldCart[] = [];
  quick: TillProduct[] = [];
  terminalId = '';
  /** A charge is under way: the cart is being recorded. */
  busy = false;
  private pending: PendingSpend = { client: null, wallet: 0, points: 0, card: 0 };
  // Adds that arrive while a charge runs belong to the next sale.
  private deferred: { product: TillProduct; quantity: number; override: boolean; unit: UnitKind }[] = [];
  private background: Promise<unknown>[] = [];

  constructor(private readonly env: TillEnvironment) {
    this.cart = this.freshCart();
  }

  // ---- tenant configuration ----

  settings(): Record<string, unknown> | null {
    const pos = this.env.tenant().pos;
    return pos && typeof pos === 'object' ? (pos as Record<string, unknown>) : null;
  }

  allowNegativeStock(): boolean {
    const pos = this.settings();
    return pos === null || pos.allow_negative_stock === true;
  }

  private informalAllowed(): boolean {
    return this.settings()?.informal_allowed === true;
  }

  private defaultFormal(): boolean {
    return !(this.informalAllowed() && this.settings()?.formal_default === false);
  }

  overridePin(): OverridePin | null {
    const pin = this.settings()?.override_pin;
    return pin && typeof pin === 'object' ? (pin as OverridePin) : null;
  }

  terminals(): { id: string; name: string }[] {
    const list = this.settings()?.terminals;
    return Array.isArray(list)
      ? list.map((t) => record(t)).map((t) => ({ id: String(t.id ?? ''), name: String(t.name ?? '') }))
      : [];
  }

  currencies(): Currency[] {
    const tenant = this.env.tenant();
    if (Array.isArray(tenant.currencies) && tenant.currencies.length)
      return tenant.currencies.map((c) => record(c) as unknown as Currency);
    if (typeof tenant.currency === 'string' && tenant.currency)
      return [{ code: tenant.currency, symbol: null, rate: 1, base: true }];
    return [];
  }

  baseCurrency(): string {
    const base = this.currencies().find((c) => c.base);
    if (base) return base.code;
    const code = this.env.tenant().currency;
    return typeof code === 'string' ? code : '';
  }

  saleCurrency(): string {
    return this.cart.currency || this.currencies().find((c) => c.default)?.code || this.baseCurrency();
  }

  /** The worth of one unit of `code` in base units; 1 when unknown. */
  rateOf(code: string | null | undefined): number {
    const rate = num(this.currencies().find((c) => c.code === code)?.rate, 1);
    return rate > 0 ? rate : 1;
  }

  toSaleCurrency(code: string, price: number): number {
    return roundCents(price / this.rateOf(code));
  }

  /** An amount of the sale currency in base units. */
  private inBase(amount: number): number {
    return roundCents(amount * this.rateOf(this.saleCurrency()));
  }

  setSaleCurrency(code: string): void {
    this.cart.currency = code;
    const current = this.saleCurrency();
    for (const line of this.cart.lines) line.unit_price = this.toSaleCurrency(current, line.base_price);
  }

  // ---- stock rule and cart edits ----

  exceedsStock(item: { tracks_stock?: boolean; type?: string | null; stock: number }, pieces: number): boolean {
    const tracks = item.tracks_stock ?? (item.type ?? 'product') === 'product';
    return tracks && !this.allowNegativeStock() && pieces > num(item.stock);
  }

  private piecesInCart(productUuid: string, except?: CartLine): number {
    return this.cart.lines
      .filter((l) => l.product_uuid === productUuid && l !== except)
      .reduce((sum, l) => sum + piecesOfLine(l), 0);
  }

  private lineOf(productUuid: string, unit: UnitKind): CartLine | undefined {
    return this.cart.lines.find((l) => l.product_uuid === productUuid && l.unit_kind === unit);
  }

  private tracksStock(product: TillProduct): boolean {
    return (product.type ?? 'product') === 'product' && !num(product.is_non_depleting);
  }

  productOutOfStock(product: TillProduct, quantity = 1, unit: UnitKind = 'piece'): boolean {
    if (this.lineOf(product.uuid, unit)?.override) return false;
    const factor = unit === 'box' ? num(product.box_pieces) : 1;
    return this.exceedsStock(
      { tracks_stock: this.tracksStock(product), stock: product.stock },
      this.piecesInCart(product.uuid) + quantity * factor,
    );
  }

  /** Adds to the cart; false when the stock rule refuses. During a charge the add waits for the next sale. */
  addProduct(product: TillProduct, quantity = 1, override = false, unit: UnitKind = 'piece'): boolean {
    if (!(quantity > 0)) return false;
    if (unit === 'box' && !boxCapable(product.box_pieces)) unit = 'piece';
    if (this.busy) {
      this.deferred.push({ product, quantity, override, unit });
      return true;
    }
    if (!override && this.productOutOfStock(product, quantity, unit)) return false;
    const weighed = product.unit === 'kg' || !Number.isInteger(quantity);
    const existing = this.lineOf(product.uuid, unit);
    if (existing) {
      existing.quantity = existing.weighed || weighed ? roundGrams(existing.quantity + quantity) : existing.quantity + quantity;
      existing.weighed ||= weighed;
      if (override) existing.override = true;
      return true;
    }
    const boxPieces = boxCapable(product.box_pieces) ? num(product.box_pieces) : 0;
    const boxPrice = boxPieces ? num(product.box_price, num(product.price) * boxPieces) : null;
    const isBox = unit === 'box';
    const base = isBox ? (boxPrice ?? 0) : num(product.price);
    this.cart.lines.push({
      product_uuid: product.uuid,
      name: isBox ? this.boxName(product.name, boxPieces) : product.name,
      sku: product.sku,
      base_price: base,
      unit_price: this.toSaleCurrency(this.saleCurrency(), base),
      quantity: weighed ? roundGrams(quantity) : quantity,
      tracks_stock: this.tracksStock(product),
      stock: num(product.stock),
      override,
      unit_kind: unit,
      unit_factor: isBox ? boxPieces : 1,
      product_name: product.name,
      piece_price: num(product.price),
      box_pieces: boxPieces,
      box_price: boxPrice,
      weighed,
    });
    return true;
  }

  private boxName(name: string, pieces: number): string {
    return `${name} — ${translate('Box')} (${pieces} ${translate('pcs')})`;
  }

  switchLineUnit(line: CartLine, unit: UnitKind, override = false): boolean {
    if (this.busy) return false;
    if (line.unit_kind === unit || (unit === 'box' && line.box_pieces < 2)) return true;
    const target = this.lineOf(line.product_uuid, unit);
    const wanted = this.piecesInCart(line.product_uuid, line) + line.quantity * (unit === 'box' ? line.box_pieces : 1);
    if (!override && !line.override && !target?.override && this.exceedsStock(line, wanted)) return false;
    if (target) {
      target.quantity += line.quantity;
      target.override = target.override || line.override || override;
      this.cart.lines.splice(this.cart.lines.indexOf(line), 1);
      return true;
    }
    line.unit_kind = unit;
    line.unit_factor = unit === 'box' ? line.box_pieces : 1;
    line.base_price =
      unit === 'box' ? (line.box_price ?? line.piece_price * line.box_pieces) : (line.piece_price ?? line.base_price);
    line.unit_price = this.toSaleCurrency(this.saleCurrency(), line.base_price);
    line.name = unit === 'box' ? this.boxName(line.product_name, line.box_pieces) : line.product_name;
    line.override = line.override || override;
    return true;
  }

  /** Pieces and boxes are whole; a weighed line keeps its grams. */
  setLineQuantity(line: CartLine, quantity: number, override = false): boolean {
    if (this.busy || !Number.isFinite(quantity)) return false;
    const n = Math.max(0, line.weighed ? roundGrams(quantity) : Math.floor(quantity));
    if (
      n > line.quantity &&
      !line.override &&
      !override &&
      this.exceedsStock(line, this.piecesInCart(line.product_uuid, line) + n * unitFactor(line))
    )
      return false;
    if (n < line.quantity) {
      const removed = line.weighed ? roundGrams(line.quantity - n) : line.quantity - n;
      this.logInBackground('void_line', {
        shift_uuid: this.env.shiftUuid(),
        product_uuid: line.product_uuid,
        product_name: line.name,
        quantity: removed,
        amount: roundCents(removed * line.unit_price),
        currency_code: this.saleCurrency() || null,
      });
    }
    if (n === 0) this.cart.lines.splice(this.cart.lines.indexOf(line), 1);
    else {
      line.quantity = n;
      if (override) line.override = true;
    }
    return true;
  }

  clearCart(log = false): void {
    if (log && this.cart.lines.length) {
      const note = this.cart.lines.map((l) => `${l.quantity}× ${l.name}`).join(', ');
      this.logInBackground('clear_cart', {
        shift_uuid: this.env.shiftUuid(),
        quantity: this.itemCount,
        amount: this.totals.total,
        currency_code: this.saleCurrency() || null,
        note: note.slice(0, 250),
      });
    }
    const { discountType, vatOn, vatRate, currency } = this.cart;
    this.cart = { ...this.freshCart(), discountType, vatOn, vatRate, currency };
    this.pending = { client: null, wallet: 0, points: 0, card: 0 };
  }

  private freshCart(): Cart {
    return {
      lines: [],
      discount: 0,
      discountType: 'fixed',
      vatOn: false,
      vatRate: 0,
      method: 'cash',
      tendered: null,
      client: null,
      redeemPoints: 0,
      currency: '',
      card: null,
      formal: this.defaultFormal(),
    };
  }

  get itemCount(): number {
    return roundGrams(this.cart.lines.reduce((sum, l) => sum + l.quantity, 0));
  }

  // ---- customer, method, totals ----

  /** Sets the buyer (and the card that identified them); what their unsynced sales spent is read at once. */
  async setClient(client: CardClient | null, card: StoreCard | null = null): Promise<void> {
    this.cart.client = client;
    this.cart.card = card;
    if (!client) this.cart.redeemPoints = 0;
    await this.refreshPending();
  }

  async refreshPending(): Promise<void> {
    const client = this.cart.client?.uuid ?? null;
    const card = this.cart.card?.uuid ?? null;
    if (!client) {
      this.pending = { client: null, wallet: 0, points: 0, card: 0 };
      return;
    }
    const sales = await this.env.db.select<{ total: number; currency_code: string | null; wallet_card_uuid: string | null }>(
      "SELECT total, currency_code, wallet_card_uuid FROM invoices WHERE client_uuid = ? AND dirty = 1 AND deleted = 0 AND pos_method = 'wallet'",
      [client],
    );
    const [points] = await this.env.db.select<{ n: number | null }>(
      "SELECT SUM(json_extract(data_json, '$.redeem_points')) AS n FROM outbox WHERE entity = 'pos_sale' " +
        "AND json_extract(data_json, '$.client_uuid') = ?",
      [client],
    );
    let wallet = 0;
    let onCard = 0;
    for (const sale of sales) {
      const base = roundCents(num(sale.total) * this.rateOf(sale.currency_code));
      wallet += base;
      if (card && sale.wallet_card_uuid === card) onCard += base;
    }
    if (this.cart.client?.uuid === client)
      this.pending = { client, wallet: roundCents(wallet), points: num(points?.n), card: roundCents(onCard) };
  }

  private pendingFor(): PendingSpend {
    return this.pending.client === this.cart.client?.uuid ? this.pending : { client: null, wallet: 0, points: 0, card: 0 };
  }

  /** The client's wallet less what their unsynced wallet sales took. */
  get walletAvailable(): number {
    return roundCents(num(this.cart.client?.wallet_balance) - this.pendingFor().wallet);
  }

  get pointsAvailable(): number {
    return Math.max(0, num(this.cart.client?.loyalty_points) - this.pendingFor().points);
  }

  private loyalty(): Record<string, unknown> {
    return record(this.env.tenant().loyalty);
  }

  private pointValue(): number {
    return num(this.loyalty().point_value, 0.1);
  }

  private get manual(): { subtotal: number; discount: number } {
    const subtotal = roundCents(this.cart.lines.reduce((sum, l) => sum + l.quantity * l.unit_price, 0));
    return { subtotal, discount: discountOf(subtotal, this.cart.discount, this.cart.discountType) };
  }

  get maxRedeemablePoints(): number {
    const loyalty = this.loyalty();
    if (loyalty.enabled === false || !this.cart.client) return 0;
    const { subtotal, discount } = this.manual;
    const percent = Math.min(100, Math.max(0, num(loyalty.max_redeem_percent, 100)));
    const cap = (Math.max(0, subtotal - discount) * percent) / 100;
    const value = this.pointValue();
    if (!(value > 0)) return 0;
    const r = Math.max(0, Math.min(this.pointsAvailable, Math.floor(roundCents(cap) / value + 0.000000001)));
    return r < num(loyalty.min_redeem, 0) ? 0 : r;
  }

  get pointsUsed(): number {
    return Math.max(0, Math.min(Math.floor(num(this.cart.redeemPoints)), this.maxRedeemablePoints));
  }

  get pointsValue(): number {
    return roundCents(this.pointsUsed * this.pointValue());
  }

  get totals(): Totals {
    const rate = this.cart.vatOn && this.isFormal ? num(this.cart.vatRate) : 0;
    return documentTotals(this.cart.lines, roundCents(this.manual.discount + this.pointsValue), 'fixed', rate);
  }

  private get isFormal(): boolean {
    return this.cart.formal || !this.informalAllowed();
  }

  get change(): number {
    if (this.cart.method !== 'cash' || this.cart.tendered === null) return 0;
    return Math.max(0, this.cart.tendered - this.totals.total);
  }

  get methods(): PaymentMethod[] {
    const tenant = this.env.tenant();
    const list: PaymentMethod[] = [];
    if (Array.isArray(tenant.payment_methods)) {
      for (const entry of tenant.payment_methods.map(record)) {
        const type = String(entry.type ?? 'cash');
        list.push({
          key: String(entry.key ?? ''),
          label: String(entry.label ?? entry.key ?? ''),
          type,
          icon: String(entry.icon ?? type),
          color: String(entry.color ?? '#475569'),
        });
      }
    } else {
      for (const key of ['cash', 'card', 'transfer']) list.push({ key, label: translate(`pay.${key}`), ...BUILT_IN_LOOKS[key]! });
      const extra = Array.isArray(tenant.pos_methods) ? tenant.pos_methods.map(record) : [];
      for (const entry of extra) {
        const key = String(entry.key ?? '');
        if (key) list.push({ key, label: String(entry.label || key), type: 'card', icon: 'wallet', color: '#7c3aed' });
      }
    }
    list.push({ key: 'credit', label: translate('pay.credit'), type: 'account', icon: 'voucher', color: '#7c3aed' });
    list.push({ key: 'wallet', label: translate('pay.wallet'), type: 'account', icon: 'wallet', color: '#0d9488' });
    return list;
  }

  get selected(): PaymentMethod | undefined {
    return this.methods.find((m) => m.key === this.cart.method);
  }

  get isCash(): boolean {
    const method = this.selected;
    return method ? method.type === 'cash' : this.cart.method === 'cash';
  }

  setMethod(key: string): void {
    this.cart.method = key;
    if (!this.isCash) this.cart.tendered = null;
    if (key !== 'wallet') this.cart.card = null;
  }

  get blocker(): string {
    const cart = this.cart;
    if (!cart.lines.length) return 'empty';
    if (cart.method === 'wallet' && !cart.client) return 'Choose the customer whose wallet pays';
    if (cart.method === 'credit' && !cart.client) return 'Choose the customer who is buying on credit';
    if (cart.method === 'wallet') {
      // Balances are kept in the base currency.
      const due = this.inBase(this.totals.total);
      if (this.walletAvailable + 0.001 < due) return 'Not enough wallet balance';
      if (cart.card) {
        const message = checkStoreCard(cart.card, due, this.walletAvailable, this.env.online(), this.pendingFor().card);
        if (message) return message;
      }
    }
    if (cart.redeemPoints > 0 && !cart.client) return 'Choose the customer whose points are redeemed';
    // The server refuses figures beyond these; a sale it refuses would be lost to a dead letter.
    if (cart.lines.some((l) => l.quantity > SALE_LIMITS.quantity)) return "A line's quantity cannot exceed 100000.";
    if (cart.lines.some((l) => l.unit_price > SALE_LIMITS.unitPrice)) return "A line's price cannot exceed 100000000.";
    if (this.totals.subtotal > SALE_LIMITS.total || this.totals.total > SALE_LIMITS.total)
      return 'Sale amounts must lie between 0 and 1000000000.';
    if (cart.method === 'cash' && cart.tendered !== null && cart.tendered < this.totals.total) return 'Not enough cash received';
    return '';
  }

  get canCharge(): boolean {
    return this.blocker === '' && !this.busy;
  }

  get orderNote(): string {
    if (this.orderType === 'delivery') return translate('Delivery');
    if (this.orderType === 'pickup') return translate('Pickup');
    return '';
  }

  // ---- the charge ----

  /** Records the cart as a sale with its stock held, in one transaction; fails with the blocker's text. */
  async chargeSale(orderType: OrderType = 'sale', note = ''): Promise<SaleResult> {
    if (this.busy) throw new Error('A sale is being charged');
    if (this.blocker) throw new Error(this.blocker === 'empty' ? 'Nothing to charge' : this.blocker);
    // Busy before the first wait: a scan from here on goes to the next sale.
    this.busy = true;
    try {
      await this.saveTillSettings();
      await this.refreshPending();
      if (this.blocker) throw new Error(this.blocker === 'empty' ? 'Nothing to charge' : this.blocker);
      const result = await this.record(orderType, note);
      this.clearCart(false);
      return result;
    } finally {
      this.busy = false;
      this.replayDeferred();
    }
  }

  private async record(orderType: OrderType, note: string): Promise<SaleResult> {
    const cart = this.cart;
    const totals = this.totals;
    const lines = cart.lines.map((l) => ({ ...l }));
    const change = this.change;
    const pointsUsed = this.pointsUsed;
    const pointsValue = this.pointsValue;
    const currency = this.saleCurrency();
    const formal = this.isFormal;
    const reference = await this.env.sync.nextOfflineReference('POS');
    const now = this.env.now?.() ?? new Date();
    const soldAt = now.toISOString();
    const day = localDay(now);
    const credit = cart.method === 'credit';
    const shift = this.env.shiftUuid();
    const sale: Fields = {
      client_uuid: cart.client?.uuid ?? '',
      offline_reference: reference,
      currency_code: currency || null,
      status: credit ? 'approved' : 'paid',
      pos_method: cart.method,
      shift_uuid: shift,
      invoice_date: day,
      due_date: day,
      // JSON columns hold text: the engine sends them to the server as their parsed lists.
      items_json: JSON.stringify(
        lines.map((l) => ({
          product_uuid: l.product_uuid,
          name: l.name,
          quantity: l.quantity,
          unit_price: l.unit_price,
          ...(l.unit_kind === 'box' ? { unit: 'box', unit_factor: l.unit_factor } : {}),
        })),
      ),
      taxes_json: JSON.stringify(
        formal && cart.vatOn && cart.vatRate > 0 ? [{ name: 'VAT', type: 'percentage', value: cart.vatRate }] : [],
      ),
      discount_amount: cart.discount,
      discount_type: cart.discountType,
      subtotal: totals.subtotal,
      tax: totals.tax,
      total: totals.total,
      paid_amount: credit ? 0 : totals.total,
      payment_method: cart.method,
      sold_at: soldAt,
      redeem_points: pointsUsed,
      is_formal: formal,
    };
    if (cart.method === 'wallet' && cart.card) sale.wallet_card_uuid = cart.card.uuid;
    if (this.terminalId) sale.terminal_id = this.terminalId;
    if (orderType !== 'sale') sale.order_type = orderType;
    const trimmed = note.trim().slice(0, 500);
    if (trimmed) sale.note = trimmed;
    const held = new Map<string, number>();
    for (const line of lines)
      if (line.tracks_stock) held.set(line.product_uuid, (held.get(line.product_uuid) ?? 0) + piecesOfLine(line));
    const uuid = await this.env.sync.save('pos_sale', sale, async (saleUuid, db) => {
      for (const [product, pieces] of held)
        await db.execute('INSERT OR REPLACE INTO stock_holds (sale_uuid, product_uuid, quantity) VALUES (?, ?, ?)', [
          saleUuid,
          product,
          roundGrams(pieces),
        ]);
    });
    for (const line of lines.filter((l) => l.override))
      await this.logTillEvent('override_stock', {
        shift_uuid: shift,
        product_uuid: line.product_uuid,
        product_name: line.name,
        quantity: line.quantity,
        amount: roundCents(line.quantity * line.unit_price),
        currency_code: currency || null,
        note: reference,
      });
    return {
      uuid,
      reference,
      soldAt,
      lines,
      formal,
      ...totals,
      pointsUsed,
      pointsValue,
      method: cart.method,
      tendered: cart.method === 'cash' ? cart.tendered : null,
      change,
      client: cart.client,
      offline: !this.env.online(),
      currency,
    };
  }

  private replayDeferred(): void {
    const waiting = this.deferred;
    this.deferred = [];
    for (const add of waiting) this.addProduct(add.product, add.quantity, add.override, add.unit);
  }

  // ---- held carts ----

  async loadHeld(): Promise<void> {
    const [row] = await this.env.db.select<{ value: string | null }>('SELECT value FROM meta WHERE key = ?', [META.posHeld]);
    try {
      const list: unknown = JSON.parse(row?.value ?? '[]');
      this.held = Array.isArray(list) ? (list as HeldCart[]) : [];
    } catch {
      this.held = [];
    }
  }

  private async saveHeld(): Promise<void> {
    await this.env.db.execute('INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)', [
      META.posHeld,
      JSON.stringify(this.held),
    ]);
  }

  async holdInvoice(): Promise<boolean> {
    if (!this.cart.lines.length || this.busy) return false;
    const label = `${this.cart.client?.name ?? translate('Cash client')} · ${this.totals.total.toFixed(2)}`;
    const entry: HeldCart = {
      id: uuidv7(),
      at: (this.env.now?.() ?? new Date()).toISOString(),
      label,
      lines: this.cart.lines.map((l) => ({ ...l })),
      client: this.cart.client,
      discount: this.cart.discount,
      discountType: this.cart.discountType,
      currency: this.saleCurrency(),
      orderType: this.orderType,
    };
    this.held = [entry, ...this.held].slice(0, HELD_LIMIT);
    await this.saveHeld();
    this.clearCart(false);
    this.orderType = 'sale';
    return true;
  }

  async restoreHeld(id: string): Promise<boolean> {
    const entry = this.held.find((h) => h.id === id);
    if (!entry || this.busy) return false;
    if (this.cart.lines.length) await this.holdInvoice();
    this.cart.lines = entry.lines.map((l) => ({ ...l, weighed: l.weighed ?? false }));
    this.cart.discount = entry.discount;
    this.cart.discountType = entry.discountType;
    this.setSaleCurrency(entry.currency);
    this.orderType = entry.orderType ?? 'sale';
    this.held = this.held.filter((h) => h.id !== id);
    await this.saveHeld();
    await this.setClient(entry.client);
    return true;
  }

  async dropHeld(id: string): Promise<void> {
    this.held = this.held.filter((h) => h.id !== id);
    await this.saveHeld();
  }

  // ---- settings, quick products, clients, events, PIN ----

  async loadTillSettings(): Promise<void> {
    const rows = await this.env.db.select<{ key: string; value: string | null }>(
      'SELECT key, value FROM meta WHERE key IN (?, ?, ?)',
      [META.posVatRate, META.posVatOn, META.posTerminalId],
    );
    const value = (key: string) => rows.find((r) => r.key === key)?.value ?? null;
    this.cart.vatRate = num(value(META.posVatRate));
    this.cart.vatOn = value(META.posVatOn) === '1';
    const terminals = this.terminals();
    const saved = value(META.posTerminalId) ?? '';
    this.terminalId = terminals.some((t) => t.id === saved) ? saved : terminals.length === 1 ? terminals[0]!.id : '';
    if (!this.cart.lines.length) this.cart.formal = this.defaultFormal();
  }

  async saveTillSettings(): Promise<void> {
    await this.env.db.execute('INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?), (?, ?), (?, ?)', [
      META.posVatRate,
      String(num(this.cart.vatRate)),
      META.posVatOn,
      this.cart.vatOn ? '1' : '0',
      META.posTerminalId,
      this.terminalId,
    ]);
  }

  async loadQuick(): Promise<void> {
    this.quick = await this.env.db.select<TillProduct>(
      `SELECT ${PRODUCT_COLUMNS} FROM products p WHERE p.deleted = 0 AND p.is_active = 1 AND p.pos_quick = 1 ` +
        'ORDER BY p.pos_quick_order IS NULL, p.pos_quick_order, p.name LIMIT 120',
    );
  }

  async quickCreateClient(name: string, phone: string): Promise<CardClient> {
    const record = { name: name.trim(), phone: phone.trim() || null };
    const uuid = await this.env.sync.save('client', record);
    const client: CardClient = { uuid, ...record, whatsapp_number: null, email: null, wallet_balance: 0, loyalty_points: 0 };
    await this.setClient(client);
    return client;
  }

  async logTillEvent(type: string, fields: Fields): Promise<void> {
    const [device] = await this.env.db.select<{ value: string | null }>('SELECT value FROM meta WHERE key = ?', [META.deviceId]);
    await this.env.sync.save('pos_event', {
      type,
      occurred_at: (this.env.now?.() ?? new Date()).toISOString(),
      device_id: device?.value ?? null,
      quantity: 0,
      amount: 0,
      ...fields,
    });
  }

  private logInBackground(type: string, fields: Fields): void {
    const work = this.logTillEvent(type, fields).catch((error: unknown) => console.error('till event not logged:', error));
    this.background.push(work);
  }

  /** Resolves once the events logged in the background are stored. */
  async settled(): Promise<void> {
    while (this.background.length) await Promise.all(this.background.splice(0));
  }

  verifyOverridePin(pin: string): Promise<boolean> {
    return verifyOverridePin(this.overridePin(), pin);
  }
}

/** The product columns every till list reads, with the available stock. */
export const PRODUCT_COLUMNS =
  'p.uuid, p.name, p.sku, p.price, (p.stock - IFNULL((SELECT SUM(h.quantity) FROM stock_holds h WHERE h.product_uuid = p.uuid), 0)) AS stock, ' +
  'p.type, p.unit, p.box_pieces, p.box_price, p.box_barcode, p.is_non_depleting';
