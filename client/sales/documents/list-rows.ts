import { translate } from '../../shell';
import type { DocumentKind } from './draft';

export const LIST_QUERY: Record<DocumentKind, string> = {
  invoice:
    'SELECT i.*, c.name AS client_name FROM invoices i LEFT JOIN clients c ON c.uuid = i.client_uuid ' +
    'WHERE i.deleted = 0 ORDER BY i.local_updated_at DESC LIMIT 300',
  quotation:
    'SELECT q.*, c.name AS client_name FROM quotations q LEFT JOIN clients c ON c.uuid = q.client_uuid ' +
    'WHERE q.deleted = 0 ORDER BY q.local_updated_at DESC LIMIT 300',
};

export type DocumentRow = {
  uuid: string;
  dirty: number;
  status: string | null;
  total: number | null;
  currency_code: string | null;
  client_name: string | null;
  invoice_number?: string | null;
  offline_reference?: string | null;
  due_date?: string | null;
  quotation_number?: string | null;
  valid_until?: string | null;
};

export type Tone = 'done' | 'off' | 'waiting' | 'unsynced';

export interface ListEntry {
  uuid: string;
  title: string;
  client: string;
  /** Due date of an invoice, end of validity of a quotation. */
  date: string | null;
  /** What the date is, when the list names it. */
  dateLabel: string;
  total: number;
  currency: string;
  status: string;
  tone: Tone;
  /** The server's number: the PDF exists only once it is set. */
  number: string | null;
}

const DONE: Record<DocumentKind, readonly string[]> = {
  invoice: ['paid', 'approved'],
  quotation: ['accepted', 'converted'],
};
const OFF: Record<DocumentKind, readonly string[]> = {
  invoice: ['cancelled', 'full_return'],
  quotation: ['rejected'],
};

/** One row of a document list as it is shown, in the current language. */
export function listEntry(kind: DocumentKind, row: DocumentRow): ListEntry {
  const number = (kind === 'invoice' ? row.invoice_number : row.quotation_number) || null;
  const date = (kind === 'invoice' ? row.due_date : row.valid_until) || null;
  const status = row.status ?? '';
  const unsynced = row.dirty === 1 || !number;
  return {
    uuid: row.uuid,
    title: number ?? (kind === 'invoice' ? (row.offline_reference ?? '') : translate('Draft')),
    client: row.client_name || translate('Walk-in Customer'),
    date,
    dateLabel: date && kind === 'quotation' ? translate('Valid until') : '',
    total: row.total ?? 0,
    currency: row.currency_code ?? '',
    status: unsynced ? translate('Not synced yet') : translate((kind === 'invoice' ? 'status.' : 'quote.') + status),
    tone: unsynced ? 'unsynced' : DONE[kind].includes(status) ? 'done' : OFF[kind].includes(status) ? 'off' : 'waiting',
    number,
  };
}
