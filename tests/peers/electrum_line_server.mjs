// What the loopback Electrum servers share: newline-delimited JSON-RPC over plain TCP on a free
// port of 127.0.0.1, each request answered by `answer(method, params)` (a throw becomes an
// error reply), {"port"} printed once listening, and an end when standard input closes.
import * as net from 'node:net';

export function serveElectrumLines(answer) {
  const server = net.createServer((socket) => {
    let buffered = '';
    socket.on('error', () => {});
    socket.on('data', (chunk) => {
      buffered += chunk;
      let end;
      while ((end = buffered.indexOf('\n')) >= 0) {
        const line = buffered.slice(0, end);
        buffered = buffered.slice(end + 1);
        if (!line.trim()) continue;
        let request;
        try {
          request = JSON.parse(line);
        } catch {
          continue;
        }
        let reply;
        try {
          reply = { jsonrpc: '2.0', id: request.id, result: answer(request.method, request.params || []) };
        } catch (error) {
          reply = { jsonrpc: '2.0', id: request.id, error: { code: 1, message: String(error.message) } };
        }
        socket.write(JSON.stringify(reply) + '\n');
      }
    });
  });
  server.listen(0, '127.0.0.1', () =>
    process.stdout.write(JSON.stringify({ port: server.address().port }) + '\n'));
  process.stdin.resume();
  process.stdin.on('end', () => process.exit(0));
}
