// What the sync benchmarks share: signing in to the reference server and
// filling it with another device's clients.

/** @param {string} serverUrl @returns {Promise<string>} the owner's token */
export async function signIn(serverUrl) {
  const login = await fetch(`${serverUrl}/mobile/v2/login`, {
    method: 'POST',
    headers: { 'Content-Type': 'application/json', Accept: 'application/json' },
    body: JSON.stringify({ email: 'owner@demo.test', password: 'demo-owner-1' }),
  });
  return /** @type {{ token: string }} */ (await login.json()).token;
}

/** Pushes `count` new clients as another device, 1,000 to a request. */
export async function seedClients(/** @type {string} */ serverUrl, /** @type {string} */ token, /** @type {number} */ count) {
  const stamp = new Date().toISOString();
  for (let start = 0; start < count; start += 1000) {
    const operations = Array.from({ length: Math.min(1000, count - start) }, (_, i) => ({
      op_id: crypto.randomUUID(), entity: 'client', action: 'upsert', uuid: crypto.randomUUID(), base_version: null,
      client_updated_at: stamp, data: { name: `Client ${start + i}`, phone: `09${start + i}`, address: 'Tripoli' },
    }));
    const reply = await fetch(`${serverUrl}/mobile/v2/sync/push`, {
      method: 'POST',
      headers: { 'Content-Type': 'application/json', Authorization: `Bearer ${token}` },
      body: JSON.stringify({ device_id: 'seeder', device_time: stamp, operations }),
    });
    if (!reply.ok) throw new Error(`seeding: HTTP ${reply.status}`);
  }
}
