import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest';
import { displayState, DisplayPusher, type DisplaySource, type DisplayState } from './customer-display';

const source = (over: Partial<DisplaySource> = {}): DisplaySource => ({
  lines: [{ name: 'Milk', quantity: 3, unit_price: 2.125 }],
  totals: { subtotal: 6.38, discount: 0, tax: 0, total: 6.38 },
  currency: 'LYD',
  customer: null,
  method: { key: 'cash', label: 'Cash' },
  tendered: null,
  change: 0,
  ...over,
});

describe('display state', () => {
  it.each([
    ['idle without lines', { lines: [] }, 'idle'],
    ['cart while cash is not entered', {}, 'cart'],
    ['paying once cash is entered', { tendered: 20, change: 6.99 }, 'paying'],
    ['paying with any other method', { method: { key: 'card', label: 'Card' } }, 'paying'],
  ] as const)('is %s', (_, over, status) => {
    expect(displayState(source(over)).status).toBe(status);
  });

  it('rounds each line total and shows received and change only for entered cash', () => {
    expect(displayState(source()).lines).toEqual([{ name: 'Milk', qty: 3, price: 2.125, total: 6.38 }]);
    expect(displayState(source({ tendered: 20, change: 6.99 }))).toMatchObject({ received: 20, change: 6.99, method: 'Cash' });
    expect(displayState(source())).toMatchObject({ received: null, change: null });
    expect(displayState(source({ method: { key: 'card', label: 'Card' }, tendered: 5 }))).toMatchObject({ received: null, change: null });
  });
});

describe('display pushes', () => {
  let sent: DisplayState[];
  let allowed: boolean;
  let pusher: DisplayPusher;
  beforeEach(() => {
    vi.useFakeTimers();
    sent = [];
    allowed = true;
    pusher = new DisplayPusher(async (state) => void sent.push(state), () => allowed);
  });
  afterEach(() => vi.useRealTimers());

  it('waits 400 ms, keeps only the latest change and never repeats a state unless sent at once', () => {
    pusher.schedule({ status: 'cart', total: 1 });
    vi.advanceTimersByTime(200);
    pusher.schedule({ status: 'cart', total: 2 });
    vi.advanceTimersByTime(399);
    expect(sent).toEqual([]);
    vi.advanceTimersByTime(1);
    expect(sent).toEqual([{ status: 'cart', total: 2 }]);
    pusher.schedule({ status: 'cart', total: 2 });
    vi.advanceTimersByTime(400);
    expect(sent).toHaveLength(1);
    pusher.now({ status: 'cart', total: 2 });
    expect(sent).toHaveLength(2);
  });

  it('sends nothing while offline or unpaired, and drops a failed push', async () => {
    allowed = false;
    pusher.schedule({ status: 'idle' });
    pusher.now({ status: 'idle' });
    vi.advanceTimersByTime(400);
    expect(sent).toEqual([]);
    allowed = true;
    const failing = new DisplayPusher(() => Promise.reject(new Error('offline')), () => true);
    expect(() => failing.now({ status: 'idle' })).not.toThrow();
  });
});
