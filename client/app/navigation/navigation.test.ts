import { describe, expect, it } from 'vitest';
import { applyLanguage } from '../../shell';
import { openMemoryDb } from '../../storage/testing';
import { matchingActions, paletteTerms, recordSearch } from '../palette/palette-query';
import { homeModule, moduleLabel, navigationItems, tabModules, visibleModules } from './modules';

const owner = { role: 'owner', abilities: ['sync'] };
const cashier = { role: 'staff', abilities: ['*'], features: { cashier: true } };
const noSync = { role: 'owner', abilities: ['view'] };
const partner = { role: 'partner', abilities: [] };

describe('modules by profile', () => {
  it.each([
    ['owner', owner, 'dashboard', 18],
    ['cashier', cashier, 'pos', 2],
    ['no sync ability', noSync, 'web', 0],
    ['partner', partner, 'partner', 0],
    ['nobody', null, 'web', 0],
  ])('%s', (_name, profile, home, tabs) => {
    expect(homeModule(profile)).toBe(home);
    expect(tabModules(profile)).toHaveLength(tabs);
  });

  it('gives a cashier only the till and chat', () => {
    expect(visibleModules(cashier)).toEqual(['pos', 'chat']);
    expect(navigationItems(cashier).map((n) => n.name)).toEqual(['pos']);
  });

  it('keeps rail modules out of the tab bar but in the routes', () => {
    expect(visibleModules(owner)).toContain('inventory');
    expect(tabModules(owner)).not.toContain('inventory');
    expect(navigationItems(owner).map((n) => n.name)).toContain('inventory');
  });

  it.each(['ar', 'en'] as const)('labels clients by the business type in %s, unless it is general', (lang) => {
    applyLanguage(lang);
    const vertical = (key: string) => ({ ...owner, vertical: { key, labels: { clients: 'Patients' } } });
    expect(moduleLabel('clients', vertical('clinic'))).toBe('Patients');
    expect(moduleLabel('clients', vertical('general'))).toBe(lang === 'en' ? 'Clients' : 'العملاء');
    expect(moduleLabel('products', vertical('clinic'))).toBe(lang === 'en' ? 'Products' : 'المنتجات');
    applyLanguage('ar');
  });
});

describe('palette', () => {
  it.each([
    ['', []],
    ['  Sync  NOW ', ['sync', 'now']],
    ['a b c d e f', ['a', 'b', 'c', 'd', 'e']],
  ])('reads %j as terms', (query, terms) => {
    expect(paletteTerms(query)).toEqual(terms);
  });

  it('matches actions holding every term', () => {
    const actions = [
      { key: 'sync', title: 'Sync now' },
      { key: 'pos', title: 'Open POS' },
    ];
    expect(matchingActions(actions, [])).toHaveLength(2);
    expect(matchingActions(actions, ['sync', 'now']).map((a) => a.key)).toEqual(['sync']);
    expect(matchingActions(actions, ['sync', 'pos'])).toEqual([]);
  });

  it('finds records of every kind, titles starting with the first term first', async () => {
    const db = await openMemoryDb();
    const at = '2026-12-10T00:00:00Z';
    await db.execute(
      "INSERT INTO clients (uuid, name, phone, local_updated_at) VALUES ('c1', 'Salem Trading', '0910000000', ?), ('c2', 'Old Salem', '', ?)",
      [at, at],
    );
    await db.execute("INSERT INTO clients (uuid, name, deleted, local_updated_at) VALUES ('c3', 'Salem Gone', 1, ?)", [at]);
    await db.execute(
      "INSERT INTO invoices (uuid, offline_reference, client_uuid, due_date, items_json, total, local_updated_at) VALUES ('i1', 'OFF-0001', 'c1', '2026-12-31', '[]', 25.5, ?)",
      [at],
    );
    const { sql, params } = recordSearch(paletteTerms('salem'));
    const rows = await db.select(sql, params);
    expect(rows.map((r) => [r.kind, r.title, r.sub])).toEqual([
      ['client', 'Salem Trading', '0910000000'],
      ['client', 'Old Salem', null],
      ['invoice', 'OFF-0001', 'Salem Trading'],
    ]);
    const both = recordSearch(paletteTerms('salem 0001'));
    expect((await db.select(both.sql, both.params)).map((r) => r.uuid)).toEqual(['i1']);
  });
});
