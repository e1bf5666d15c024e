// @vitest-environment happy-dom
import { afterEach, describe, expect, it } from 'vitest';
import { cleanFileName, saveFile } from './save-file';

type Call = [string, ...unknown[]];

function fakeHost(picked: string | null, openFails = false): Call[] {
  const calls: Call[] = [];
  Object.defineProperty(window, 'tovikHost', {
    configurable: true,
    value: {
      saveDialog: async (name: string, extension: string) => (calls.push(['saveDialog', name, extension]), picked),
      writeFile: async (path: string, base64: string) => void calls.push(['writeFile', path, base64]),
      openPath: async (path: string) => {
        calls.push(['openPath', path]);
        if (openFails) throw 'no application';
      },
    },
  });
  return calls;
}

afterEach(() => {
  delete (window as { tovikHost?: unknown }).tovikHost;
});

describe('saveFile', () => {
  it.each([
    ['a: b/c\\d*?"<>|e.pdf', 'a_ b_c_d_e.pdf'],
    ['tab\there\u0001.pdf', 'tab_here_.pdf'],
    ['  فاتورة 7.pdf ', 'فاتورة 7.pdf'],
    [' /// ', '_'],
    ['   ', 'download'],
  ])('cleans %j to %j', (given, expected) => {
    expect(cleanFileName(given)).toBe(expected);
  });

  it('asks the host where to save, writes the bytes there and opens the file, even if opening fails', async () => {
    const calls = fakeHost('/home/u/Downloads/x.pdf', true);
    expect(await saveFile('in/voice.pdf', new Uint8Array([37, 80, 68, 70]))).toBe(true);
    expect(calls).toEqual([
      ['saveDialog', 'in_voice.pdf', 'pdf'],
      ['writeFile', '/home/u/Downloads/x.pdf', 'JVBERg=='],
      ['openPath', '/home/u/Downloads/x.pdf'],
    ]);
  });

  it('writes nothing when the dialog is cancelled', async () => {
    const calls = fakeHost(null);
    expect(await saveFile('x.pdf', new Uint8Array([1]))).toBe(false);
    expect(calls.map((c) => c[0])).toEqual(['saveDialog']);
  });
});
