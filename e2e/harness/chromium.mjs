// Debian's Chromium driven by playwright-core, with a fresh profile per launch.
import { mkdtemp, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

export const CHROMIUM = '/usr/bin/chromium';

export const CHROMIUM_ARGS = [
  '--headless',
  '--no-sandbox',
  '--disable-gpu',
  '--no-first-run',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
  '--disable-quic',
  // Nothing but loopback resolves, whatever the browser itself would fetch.
  '--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1, EXCLUDE localhost',
];

/** @param {string} url */
function isLoopback(url) {
  const { protocol, hostname } = new URL(url);
  if (protocol === 'data:' || protocol === 'blob:' || protocol === 'about:') return true;
  return hostname === 'localhost' || hostname === '[::1]' || /^127\.\d+\.\d+\.\d+$/.test(hostname);
}

/**
 * @param {{ loopbackOnly?: boolean }} [options] loopbackOnly aborts every page request
 *   that leaves loopback; benchmarks turn it off because it routes each request
 *   through the driver (the resolver rule above still applies).
 * @returns {Promise<{ context: import('playwright-core').BrowserContext, close: () => Promise<void> }>}
 */
export async function launchChromium({ loopbackOnly = true } = {}) {
  const userDataDir = await mkdtemp(path.join(tmpdir(), 'tovik-chromium-'));
  const context = await chromium.launchPersistentContext(userDataDir, {
    executablePath: CHROMIUM,
    headless: true,
    args: CHROMIUM_ARGS,
  });
  if (loopbackOnly) {
    await context.route((url) => !isLoopback(url.href), (route) => route.abort('blockedbyclient'));
  }
  return {
    context,
    async close() {
      await context.close();
      await rm(userDataDir, { recursive: true, force: true });
    },
  };
}
