import { language, saveFile } from '../../shell';
import { apiFetch, jsonBody } from '../../sync';
import type { DocumentKind } from './draft';

export const OFFLINE_PDF = 'Connect to the internet to download the PDF.';

const ROUTE: Record<DocumentKind, string> = { invoice: 'invoices', quotation: 'quotations' };

function namedInHeader(header: string): string | null {
  const extended = /filename\*\s*=\s*"?([^";]+)"?/i.exec(header)?.[1];
  if (extended) {
    const encoded = extended.replace(/^[^']*'[^']*'/, '');
    try {
      return decodeURIComponent(encoded);
    } catch {
      // A broken encoding: the plain form may still name the file.
    }
  }
  const plain = /(?:^|;)\s*filename\s*=\s*(?:"([^"]*)"|([^;]*))/i.exec(header);
  return plain ? (plain[1] ?? plain[2] ?? '').trim() : null;
}

/** The server's name reduced to one plain file name: no folders, no control characters, not hidden. */
function plainName(name: string): string {
  return name.replace(/[\\/\u0000-\u001f\u007f]/g, '').replace(/^[\s.]+/, '').trim();
}

/**
 * The file name for a document's PDF from the reply's Content-Disposition,
 * else the document number; always ending in ".pdf", since the saved file is opened.
 */
export function pdfFileName(header: string | null, documentNumber: string): string {
  const name = plainName(header ? (namedInHeader(header) ?? '') : '') || plainName(documentNumber) || 'document';
  return /\.pdf$/i.test(name) ? name : `${name}.pdf`;
}

/**
 * Fetches a numbered document's PDF, written in the interface language, and
 * saves it; false when the user cancelled.
 */
export async function downloadPdf(kind: DocumentKind, uuid: string, documentNumber: string): Promise<boolean> {
  const reply = await apiFetch(`/${ROUTE[kind]}/${encodeURIComponent(uuid)}/pdf?lang=${language.value}`);
  if (!reply.ok) {
    const message = (await jsonBody(reply)).message;
    throw new Error(typeof message === 'string' && message ? message : `HTTP ${reply.status}`);
  }
  const bytes = new Uint8Array(await reply.arrayBuffer());
  return saveFile(pdfFileName(reply.headers.get('Content-Disposition'), documentNumber), bytes, 'application/pdf');
}

/** What the list says when a download failed. */
export function downloadFailureText(failure: unknown, online: boolean): string {
  if (!online) return OFFLINE_PDF;
  return failure instanceof Error ? failure.message : String(failure);
}
