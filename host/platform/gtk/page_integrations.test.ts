import { readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { beforeAll, beforeEach, describe, expect, it, vi } from 'vitest';

// The script the host installs into every page, run in a page with a fake
// "tovikShell" handler in place of the host.
const script = readFileSync(join(dirname(fileURLToPath(import.meta.url)), 'page_integrations.js'), 'utf8');
const post = vi.fn(async (message: { op: string }) =>
  JSON.stringify(message.op === 'confirm' ? { ok: true, value: true } : { ok: true, value: null }),
);

// What the script decided, read after its listener has run; then every click
// is cancelled so that the test page itself never follows a link.
let decided = false;

beforeAll(() => {
  (window as unknown as { webkit: unknown }).webkit = { messageHandlers: { tovikShell: { postMessage: post } } };
  new Function(script)();
  window.addEventListener('click', (event) => {
    decided = event.defaultPrevented;
    event.preventDefault();
  });
});

beforeEach(() => {
  post.mockClear();
  document.body.innerHTML = '';
});

function click(
  anchor: { href?: string; target?: string; inner?: boolean },
  init: MouseEventInit = {},
  cancelFirst = false,
) {
  const a = document.createElement('a');
  if (anchor.href !== undefined) a.setAttribute('href', anchor.href);
  if (anchor.target) a.target = anchor.target;
  const span = document.createElement('span');
  a.appendChild(span);
  document.body.appendChild(a);
  if (cancelFirst) a.addEventListener('click', (e) => e.preventDefault());
  const event = new MouseEvent('click', { bubbles: true, cancelable: true, button: 0, ...init });
  (anchor.inner ? span : a).dispatchEvent(event);
  const opened = post.mock.calls.filter(([m]) => m.op === 'open_external');
  return { opened: opened.map(([m]) => (m as unknown as { url: string }).url), cancelled: decided };
}

describe('external links', () => {
  it.each([
    ['target _blank https', { href: 'https://127.0.0.1:9/a', target: '_blank' }, {}, true],
    ['ctrl held', { href: 'https://127.0.0.1:9/a' }, { ctrlKey: true }, true],
    ['shift held', { href: 'http://127.0.0.1:9/a' }, { shiftKey: true }, true],
    ['mailto in a new tab', { href: 'mailto:a@example.invalid', target: '_blank' }, {}, true],
    ['tel in a new tab', { href: 'tel:+218910000000', target: '_blank' }, {}, true],
    ['a click inside the anchor', { href: 'https://127.0.0.1:9/a', target: '_blank', inner: true }, {}, true],
    ['same tab, no modifier', { href: 'https://127.0.0.1:9/a' }, {}, false],
    ['meta held', { href: 'https://127.0.0.1:9/a', target: '_blank' }, { metaKey: true }, false],
    ['alt held', { href: 'https://127.0.0.1:9/a', target: '_blank' }, { altKey: true }, false],
    ['middle button', { href: 'https://127.0.0.1:9/a', target: '_blank' }, { button: 1 }, false],
    ['a script scheme', { href: 'javascript:void(0)', target: '_blank' }, {}, false],
    ['a data scheme', { href: 'data:text/plain,x', target: '_blank' }, {}, false],
    ['an empty href', { href: '', target: '_blank' }, {}, false],
    ['no href', { target: '_blank' }, {}, false],
  ])('%s', (_name, anchor, init, expected) => {
    const { opened, cancelled } = click(anchor, init);
    expect(opened.length === 1).toBe(expected);
    expect(cancelled).toBe(expected);
  });

  it('leaves a click that the page already cancelled alone', () => {
    expect(click({ href: 'https://127.0.0.1:9/a', target: '_blank' }, {}, true).opened).toEqual([]);
  });
});

describe('dialogs', () => {
  it('confirm answers with a promise of the native choice', async () => {
    const answer = window.confirm('Delete?') as unknown;
    expect(answer).toBeInstanceOf(Promise);
    await expect(answer).resolves.toBe(true);
    expect(post).toHaveBeenCalledWith({ op: 'confirm', message: 'Delete?' });
  });

  it('alert returns at once', () => {
    expect(window.alert('Saved')).toBeUndefined();
    expect(post).toHaveBeenCalledWith({ op: 'alert', message: 'Saved' });
  });
});
