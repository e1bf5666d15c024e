import { documentTotals, roundCents, type DocumentTotals } from '../../core';
import type { Fields, SyncPort } from '../../sync';

export type DocumentKind = 'invoice' | 'quotation';

export interface DraftLine {
  product_uuid: string | null;
  name: string;
  quantity: number;
  unit_price: number;
}

export interface SavedItem {
  product_uuid?: string;
  name: string;
  quantity: number;
  unit_price: number;
}

export type DocumentProduct = {
  uuid: string;
  name: string;
  price: number;
  stock: number;
};

export type DocumentClient = {
  uuid: string;
  name: string;
};

export const CLIENT_CHOICES = 'SELECT uuid, name FROM clients WHERE deleted=0 ORDER BY name';
export const PRODUCT_CHOICES = 'SELECT uuid, name, price, stock FROM products WHERE deleted=0 AND is_active=1 ORDER BY name';

const DAYS_AHEAD: Record<DocumentKind, number> = { invoice: 14, quotation: 30 };

/** The UTC calendar date of `now` plus some days, as YYYY-MM-DD. */
export function utcDate(now: Date, days = 0): string {
  return new Date(now.getTime() + days * 86_400_000).toISOString().slice(0, 10);
}

const number = (value: unknown) => {
  const n = typeof value === 'number' ? value : Number(value);
  return Number.isFinite(n) ? n : 0;
};

const emptyLine = (): DraftLine => ({ product_uuid: null, name: '', quantity: 1, unit_price: 0 });

/**
 * An invoice or quotation being drafted. The totals shown are those of the
 * items that will be saved, so the stored document matches what the user saw.
 */
export class DocumentDraft {
  clientUuid = '';
  /** Due date of an invoice, end of validity of a quotation. */
  date: string;
  lines: DraftLine[] = [emptyLine()];
  vatPercent = 0;
  discount = 0;
  notes = '';
  terms = '';
  saving = false;

  constructor(
    readonly kind: DocumentKind,
    now = new Date(),
  ) {
    this.date = utcDate(now, DAYS_AHEAD[kind]);
  }

  addLine(): void {
    this.lines.push(emptyLine());
  }

  removeLine(index: number): void {
    this.lines.splice(index, 1);
  }

  /** Takes the product's name and price; null makes it a free-text line. */
  chooseProduct(line: DraftLine, product: DocumentProduct | null): void {
    line.product_uuid = product?.uuid ?? null;
    if (product) {
      line.name = product.name;
      line.unit_price = number(product.price);
    }
  }

  /** Invoices sell whole units. */
  private quantityOf(value: unknown): number {
    const quantity = Math.max(number(value), 0);
    return this.kind === 'invoice' ? Math.round(quantity) : quantity;
  }

  /** The quantity is rounded as it is entered, so the form shows what is saved. */
  setQuantity(line: DraftLine, value: unknown): void {
    line.quantity = this.quantityOf(value);
  }

  lineAmount(line: DraftLine): number {
    return roundCents(this.quantityOf(line.quantity) * Math.max(number(line.unit_price), 0));
  }

  /** The lines that become items: named, with a quantity above 0. */
  get items(): SavedItem[] {
    return this.lines
      .filter((l) => l.name.trim() !== '')
      .map((l) => ({
        ...(l.product_uuid ? { product_uuid: l.product_uuid } : {}),
        name: l.name.trim(),
        quantity: this.quantityOf(l.quantity),
        unit_price: Math.max(number(l.unit_price), 0),
      }))
      .filter((item) => item.quantity > 0);
  }

  get totals(): DocumentTotals {
    return documentTotals(this.items, number(this.discount), 'fixed', number(this.vatPercent));
  }

  get canSave(): boolean {
    return this.clientUuid !== '' && !this.saving && this.items.length > 0;
  }

  /**
   * Stores the document and queues it. An invoice takes its products' stock
   * at once, in the same transaction. A failure leaves the draft as it was.
   */
  async save(sync: SyncPort, now = new Date()): Promise<string> {
    if (!this.canSave) throw new Error('Choose a client and add at least one item.');
    this.saving = true;
    try {
      const items = this.items;
      const totals = this.totals;
      const vat = Math.min(Math.max(number(this.vatPercent), 0), 100);
      const common: Fields = {
        client_uuid: this.clientUuid,
        notes: this.notes.trim() || null,
        discount_amount: totals.discount,
        discount_type: 'fixed',
        items_json: JSON.stringify(items),
        subtotal: totals.subtotal,
        tax: totals.tax,
        total: totals.total,
      };
      const today = utcDate(now);
      if (this.kind === 'quotation')
        return await sync.save('quotation', {
          ...common,
          status: 'pending',
          quotation_date: today,
          valid_until: this.date || null,
          tax_rate: vat,
          taxes_json: '[]',
          terms: this.terms.trim() || null,
        });
      const invoice: Fields = {
        ...common,
        offline_reference: await sync.nextOfflineReference(),
        status: 'pending_review',
        invoice_date: today,
        due_date: this.date || null,
        taxes_json: JSON.stringify(vat > 0 ? [{ name: 'VAT', type: 'percentage', value: vat }] : []),
      };
      return await sync.save('invoice', invoice, async (_uuid, db) => {
        for (const item of items)
          if (item.product_uuid)
            await db.execute('UPDATE products SET stock = stock - ? WHERE uuid = ?', [item.quantity, item.product_uuid]);
      });
    } finally {
      this.saving = false;
    }
  }
}
