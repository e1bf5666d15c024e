/** The palette's search terms: lower-cased, split at white space, at most five. */
export function paletteTerms(query: string): string[] {
  return query.trim().toLowerCase().split(/\s+/).filter(Boolean).slice(0, 5);
}

export interface PaletteAction {
  key: string;
  title: string;
}

/** Actions whose lower-cased title holds every term; all of them without terms. */
export function matchingActions<T extends PaletteAction>(actions: readonly T[], terms: readonly string[]): T[] {
  return actions.filter((a) => terms.every((term) => a.title.toLowerCase().includes(term)));
}

const branches = [
  `SELECT 'invoice' AS kind, i.uuid AS uuid, COALESCE(i.invoice_number, i.offline_reference) AS title,
     c.name AS sub, i.total AS amount,
     COALESCE(i.invoice_number, '') || ' ' || COALESCE(i.offline_reference, '') || ' ' || COALESCE(c.name, '') AS hay
   FROM invoices i LEFT JOIN clients c ON c.uuid = i.client_uuid WHERE i.deleted = 0`,
  `SELECT 'quotation', q.uuid, COALESCE(q.quotation_number, '…'), c.name, q.total,
     COALESCE(q.quotation_number, '') || ' ' || COALESCE(c.name, '')
   FROM quotations q LEFT JOIN clients c ON c.uuid = q.client_uuid WHERE q.deleted = 0`,
  `SELECT 'client', uuid, name, COALESCE(NULLIF(company, ''), NULLIF(phone, ''), email), NULL,
     COALESCE(name, '') || ' ' || COALESCE(company, '') || ' ' || COALESCE(phone, '') || ' ' ||
     COALESCE(email, '') || ' ' || COALESCE(tax_number, '')
   FROM clients WHERE deleted = 0`,
  `SELECT 'product', uuid, name, sku, price,
     COALESCE(name, '') || ' ' || COALESCE(sku, '') || ' ' || COALESCE(category, '')
   FROM products WHERE deleted = 0`,
  `SELECT 'note', uuid, CASE WHEN COALESCE(title, '') <> '' THEN title ELSE substr(COALESCE(body, ''), 1, 60) END,
     substr(COALESCE(body, ''), 1, 90), NULL, COALESCE(title, '') || ' ' || COALESCE(body, '')
   FROM notes WHERE deleted = 0`,
  `SELECT 'expense', uuid, title, COALESCE(NULLIF(category_label, ''), category) || ' · ' || COALESCE(expense_date, ''), amount,
     COALESCE(title, '') || ' ' || COALESCE(category, '') || ' ' || COALESCE(category_label, '') || ' ' ||
     COALESCE(notes, '')
   FROM expenses WHERE deleted = 0`,
];

/** The record search over six kinds of record: one statement and its parameters. */
export function recordSearch(terms: readonly string[]): { sql: string; params: string[] } {
  const where = terms.map(() => 'lower(hay) LIKE ?').join(' AND ');
  const sql =
    `SELECT kind, uuid, title, sub, amount FROM (${branches.join(' UNION ALL ')}) ` +
    `WHERE ${where} ORDER BY CASE WHEN lower(title) LIKE ? THEN 0 ELSE 1 END, kind, title LIMIT 30`;
  return { sql, params: [...terms.map((term) => `%${term}%`), `${terms[0] ?? ''}%`] };
}
