// Values fixed when the client is built. The server addresses are deployment
// values: a build for the hosted platform sets them through the environment;
// without them a build talks to the reference server on this machine.

export const APP_VERSION = '1.43.0';

/** Sent as X-App-Platform: the kind of client, as the platform knows it. */
export const PLATFORM_WORD = 'windows';

/** Names this desktop build inside the device name. */
export const RUNTIME_WORD = 'desktop';

export const DEFAULT_SERVER_URL: string =
  import.meta.env.VITE_TOVIK_SERVER_URL ?? 'http://127.0.0.1:8787';

/** A host the platform used to live on; stored addresses of it mean the default. */
export const LEGACY_SERVER_HOST: string = import.meta.env.VITE_TOVIK_LEGACY_SERVER_HOST ?? 'legacy.tovik.invalid';
