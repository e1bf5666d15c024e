import type { LocalDb } from '../../storage';
import { parseWeighedBarcode, pluMatches } from './barcodes';
import { PRODUCT_COLUMNS, type TillProduct, type UnitKind } from './engine';

export const SEARCH_LIMIT = 60;

const SELLABLE = 'p.deleted = 0 AND p.is_active = 1';

/**
 * Products matching the search text, by name. The page of rows is chosen
 * first, through the covering search index, and the held stock computed
 * for those rows only.
 */
export async function searchProducts(db: LocalDb, text: string, limit = SEARCH_LIMIT): Promise<TillProduct[]> {
  const q = text.trim();
  const like = `%${q}%`;
  return db.select<TillProduct>(
    `SELECT ${PRODUCT_COLUMNS} FROM products p WHERE p.rowid IN (SELECT rowid FROM products p WHERE ${SELLABLE} ` +
      `AND (?1 = '' OR p.name LIKE ?2 OR IFNULL(p.sku, '') LIKE ?2 OR IFNULL(p.box_barcode, '') LIKE ?2) ` +
      `ORDER BY p.name LIMIT ${limit}) ORDER BY p.name`,
    [q, like],
  );
}

export interface CodeMatch {
  product: TillProduct;
  quantity: number;
  unit: UnitKind;
}

async function oneProduct(db: LocalDb, where: string, params: string[]): Promise<TillProduct[]> {
  return db.select<TillProduct>(
    `SELECT ${PRODUCT_COLUMNS} FROM products p WHERE ${SELLABLE} AND ${where} ORDER BY p.name LIMIT 5`,
    params,
  );
}

// The SKU texts a PLU may be written as: without its leading zeros, or padded with zeros up to 13 digits.
function pluSpellings(plu: string): string[] {
  const bare = plu.replace(/^0+/, '');
  if (!bare) return [];
  return Array.from({ length: Math.max(1, 14 - bare.length) }, (_, zeros) => '0'.repeat(zeros) + bare);
}

/**
 * What a typed or scanned code names, looked up through indexes: an exact
 * SKU (one piece), a box barcode (one box), a weighed code whose PLU is a
 * SKU (its weight). Null when it names none of these.
 */
export async function findByCode(db: LocalDb, code: string): Promise<CodeMatch | null> {
  const q = code.trim();
  if (!q) return null;
  const [bySku] = await oneProduct(db, 'p.sku COLLATE NOCASE = ?', [q]);
  if (bySku) return { product: bySku, quantity: 1, unit: 'piece' };
  const [byBox] = await oneProduct(db, 'p.box_barcode COLLATE NOCASE = ? AND p.box_pieces >= 2', [q]);
  if (byBox) return { product: byBox, quantity: 1, unit: 'box' };
  const weighed = parseWeighedBarcode(q, 'weight');
  if (weighed?.weightKg) {
    const spellings = pluSpellings(weighed.plu);
    if (spellings.length) {
      const rows = await oneProduct(db, `p.sku COLLATE NOCASE IN (${spellings.map(() => '?').join(', ')})`, spellings);
      const product = rows.find((p) => pluMatches(p.sku, weighed.plu));
      if (product) return { product, quantity: weighed.weightKg, unit: 'piece' };
    }
  }
  return null;
}
