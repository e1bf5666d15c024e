import { formatMoney } from '../../core';
import { language, translate as t } from '../../shell';
import type { ShiftReport } from './shift-summary';

const SEPARATOR = '─'.repeat(12);
const REPORTED_METHODS = ['cash', 'card', 'transfer', 'credit'] as const;

export interface ReportedShift {
  opened_at: string;
  closed_at: string | null;
}

const money = (value: number | null | undefined) => (typeof value === 'number' ? formatMoney(value) : '—');

/** The Z-report as plain text for a message. */
export function zReportText(shift: ReportedShift, report: ShiftReport, business: string, user: string): string {
  const when = new Intl.DateTimeFormat(language.value === 'ar' ? 'ar-LY' : 'en-GB', {
    dateStyle: 'medium',
    timeStyle: 'short',
  });
  const closed = shift.closed_at ? when.format(new Date(shift.closed_at)) : t('open');
  const lines = [`*${business} — ${t('Z-report')}*`, user, `${when.format(new Date(shift.opened_at))} → ${closed}`, SEPARATOR];
  for (const key of REPORTED_METHODS) {
    const entry = report.sales[key];
    lines.push(`${t('pay.' + key)}: ${money(entry?.total)} (${entry?.count ?? 0})`);
  }
  lines.push(`*${t('Total sales')}*: ${money(report.salesTotal)}`, `${t('Debt collected')}: ${money(report.collectedTotal)}`);
  lines.push(SEPARATOR);
  lines.push(
    `${t('Opening cash')}: ${money(report.openingCash)}`,
    `${t('Expected cash')}: ${money(report.expectedCash)}`,
    `${t('Counted cash')}: ${money(report.countedCash)}`,
    `*${t('Variance')}*: ${money(report.variance)}`,
  );
  return lines.join('\n');
}
