import { afterAll, beforeAll, describe, expect, it } from 'vitest';
import { ipc, request } from './harness/http.mjs';
import { startServeHost, type ServeHost } from './harness/serve-host.mjs';

// The serve-mode interface as other tools see it, at the HTTP level.

let host: ServeHost;

beforeAll(async () => {
  host = await startServeHost();
});

afterAll(async () => {
  await host?.stop();
});

const post = (cmd: string, headers: Record<string, string>, body: string | Buffer = '{"key":"k"}') =>
  request(`${host.origin}/ipc/${cmd}`, { method: 'POST', headers: { 'Content-Type': 'application/json', ...headers }, body });

describe('serve mode access', () => {
  it('answers the right token from its own origin', async () => {
    const reply = await post('secret_get', { 'X-Tovik-Bridge': host.token, Origin: host.origin });
    expect(reply).toMatchObject({ status: 200, body: 'null' });
  });

  it.each([
    ['no token', () => ({})],
    ['a wrong token', () => ({ 'X-Tovik-Bridge': `${host.token.slice(1)}0` })],
    ['a foreign origin', () => ({ 'X-Tovik-Bridge': host.token, Origin: 'http://example.test' })],
    ['another loopback port', () => ({ 'X-Tovik-Bridge': host.token, Origin: 'http://127.0.0.1:1' })],
  ])('refuses %s with 403 and runs nothing', async (_name, headers) => {
    const reply = await post('secret_set', headers(), '{"key":"refused","value":"x"}');
    expect(reply.status).toBe(403);
    const check = await ipc(host.origin, host.token, 'secret_get', { key: 'refused' });
    expect(check.body).toBe('null');
  });

  it('refuses the event stream without the token', async () => {
    const reply = await request(`${host.origin}/events?bridge=wrong`, { headOnly: true });
    expect(reply.status).toBe(403);
  });

  it('opens the event stream with the token', async () => {
    const reply = await request(`${host.origin}/events?bridge=${host.token}`, { headOnly: true });
    expect(reply.status).toBe(200);
    expect(reply.headers['content-type']).toMatch(/^text\/event-stream/);
  });
});

describe('serve mode replies', () => {
  it('gives 404 and a JSON string naming an unknown command', async () => {
    const reply = await ipc(host.origin, host.token, 'no_such_command', {});
    expect(reply.status).toBe(404);
    const message: unknown = JSON.parse(reply.body);
    expect(typeof message).toBe('string');
    expect(message).toContain('no_such_command');
  });

  it.each([
    ['a missing key', { sql: 'SELECT 1' }, 'command db_select missing required key params'],
    ['a wrong type', { sql: 'SELECT 1', params: {} }, /^invalid args `params` for command `db_select`: /],
  ])('gives 400 and the failure message for %s', async (_name, args, message) => {
    const reply = await ipc(host.origin, host.token, 'db_select', args);
    expect(reply.status).toBe(400);
    expect(JSON.parse(reply.body)).toMatch(message);
  });

  it('gives 400 for a body that is not JSON', async () => {
    const reply = await post('secret_get', { 'X-Tovik-Bridge': host.token }, '{"key":');
    expect(reply.status).toBe(400);
  });

  it('refuses a body over 64 MiB', async () => {
    const body = Buffer.alloc(65 * 1024 * 1024, 0x20);
    const reply = await post('secret_get', { 'X-Tovik-Bridge': host.token }, body);
    expect([413, 400]).toContain(reply.status);
  });
});
