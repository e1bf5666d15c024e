// Plain HTTP to the serve-mode host, with full control of headers (a browser
// would not let a test forge Origin) and early replies to large bodies.
import http from 'node:http';

/**
 * @typedef {object} Reply
 * @property {number} status
 * @property {import('node:http').IncomingHttpHeaders} headers
 * @property {string} body
 */

/**
 * @param {string} url
 * @param {{ method?: string, headers?: Record<string, string>, body?: string | Buffer, headOnly?: boolean, agent?: http.Agent }} [options]
 * @returns {Promise<Reply>}
 */
export function request(url, { method = 'GET', headers = {}, body, headOnly = false, agent } = {}) {
  return new Promise((resolve, reject) => {
    let answered = false;
    const req = http.request(url, { method, headers, agent: agent ?? false }, (res) => {
      answered = true;
      if (headOnly) {
        // Streams such as /events never end; the head is all we need.
        resolve({ status: res.statusCode ?? 0, headers: res.headers, body: '' });
        res.destroy();
        req.destroy();
        return;
      }
      const chunks = /** @type {Buffer[]} */ ([]);
      res.on('data', (chunk) => chunks.push(chunk));
      res.on('end', () => resolve({ status: res.statusCode ?? 0, headers: res.headers, body: Buffer.concat(chunks).toString('utf8') }));
      res.on('error', reject);
    });
    req.on('error', (error) => {
      // A server may answer and close before it has read a large body.
      if (!answered) reject(error);
    });
    req.end(body);
  });
}

/**
 * POST /ipc/<cmd> as the client does.
 * @param {string} origin
 * @param {string} token
 * @param {string} cmd
 * @param {unknown} args
 * @param {http.Agent} [agent]
 */
export function ipc(origin, token, cmd, args, agent) {
  return request(`${origin}/ipc/${cmd}`, {
    method: 'POST',
    headers: { 'Content-Type': 'application/json', 'X-Tovik-Bridge': token },
    body: JSON.stringify(args),
    agent,
  });
}
