export interface OverridePin {
  salt: string;
  hash: string;
  iterations: number;
}

const fromBase64 = (text: string) => Uint8Array.from(atob(text), (c) => c.charCodeAt(0));

/** A manager's PIN against the tenant's PBKDF2-SHA-256 record, compared in constant time. */
export async function verifyOverridePin(record: OverridePin | null | undefined, pin: string): Promise<boolean> {
  if (!record || !/^\d{6,12}$/.test(pin)) return false;
  const subtle = globalThis.crypto?.subtle;
  if (!subtle) return false;
  let salt: Uint8Array;
  let expected: Uint8Array;
  try {
    salt = fromBase64(record.salt);
    expected = fromBase64(record.hash);
  } catch {
    return false;
  }
  const iterations = Number(record.iterations);
  if (!Number.isInteger(iterations) || iterations < 1) return false;
  const key = await subtle.importKey('raw', new TextEncoder().encode(pin), 'PBKDF2', false, ['deriveBits']);
  const derived = new Uint8Array(await subtle.deriveBits({ name: 'PBKDF2', hash: 'SHA-256', salt: salt as BufferSource, iterations }, key, 256));
  let difference = derived.length ^ expected.length;
  for (let i = 0; i < Math.min(derived.length, expected.length); i++) difference |= derived[i]! ^ expected[i]!;
  return difference === 0;
}
