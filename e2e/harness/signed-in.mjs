import { launchChromium } from './chromium.mjs';
import { startServeHost } from './serve-host.mjs';
import { startServer } from './server.mjs';
import { signInThroughScreen } from './session.mjs';

// The start of most end-to-end stories: the reference server, one served
// host and a browser page signed in through the sign-in screen.

/**
 * @param {{ email: string, password: string, landing?: string }} account
 *   landing: the screen the account lands on (the till by default)
 */
export async function startSignedInClient({ email, password, landing }) {
  /** @type {(() => Promise<unknown>)[]} */
  const stops = [];
  const stop = async () => {
    for (const step of stops.reverse()) await step();
  };
  try {
    const server = await startServer();
    stops.push(() => server.stop());
    const browser = await launchChromium();
    stops.push(() => browser.close());
    const host = await startServeHost();
    stops.push(() => host.stop());
    const page = await browser.context.newPage();
    await signInThroughScreen(page, { hostUrl: host.url, serverUrl: server.url, email, password, landing });
    return { server, host, browser, page, stop };
  } catch (error) {
    await stop();
    throw error;
  }
}
