// A WalletConnect relay on loopback for the tests: the "irn" JSON-RPC over a websocket as the
// wallet and the dApp client (@walletconnect/sign-client 2.25) use it. Connections are admitted
// only with a token that @walletconnect/relay-auth verifies. Each topic has a mailbox: a
// published message is kept for its ttl and delivered to every subscriber of the topic (now and
// on a later subscribe) other than its publisher, until that client acknowledges it. A client
// is known by its token's issuer: one that comes back with a new key pair is a new client and
// gets every unexpired message again.
//
// As a module: `const relay = await startRelay({ port, projectId })`, then relay.url,
// relay.control(op), relay.events (every event object), relay.stop().
// As a program: `node relay_fixture.mjs [--port N] [--project-id ID]` prints one JSON event per
// line on stdout ({"event":"listening","url":...} first) and takes one control op per line on
// stdin, each confirmed by {"event":"done","seq"} with the op's "seq":
//   {"op":"publish","topic","message","ttl"?,"tag"?}  a message from another client
//   {"op":"send","text"} / {"op":"sendBinary","hex"}   a raw frame to every open connection
//   {"op":"hold","method"} / {"op":"release"}          requests of a method go unanswered until
//                                                      released (then answered as usual)
//   {"op":"reply","method","text"}                     answer a method with this raw text, "$ID"
//                                                      standing for the request's id (null: stop)
//   {"op":"mute"}                                      stop reading every current connection (a
//                                                      half-open connection: no pongs, no answers)
//   {"op":"close"}                                     close every connection
import { createHash } from 'node:crypto';
import { createServer } from 'node:http';
import { createInterface } from 'node:readline';
import { fileURLToPath } from 'node:url';
import { WebSocketServer } from 'ws';
import { decodeJWT, verifyJWT } from '@walletconnect/relay-auth';

const sha256Hex = (text) => createHash('sha256').update(text).digest('hex');

export async function startRelay({ port = 0, projectId = null, onEvent = () => {} } = {}) {
  const events = [];
  const emit = (event) => {
    events.push(event);
    onEvent(event);
  };
  const clients = new Set();
  const mailbox = new Map(); // topic -> [{ message, tag, publishedAt, expiresAt, from, ackedBy }]
  const awaitingAck = new Map(); // delivery id -> { entry, client }
  const held = [];
  let holdMethod = null;
  const replies = new Map(); // method -> raw text
  let nextDeliveryId = Date.now() * 1000;

  const http = createServer((_, response) => response.writeHead(426).end());
  const server = new WebSocketServer({ noServer: true });

  async function admit(request) {
    const url = new URL(request.url, 'ws://127.0.0.1');
    const auth = url.searchParams.get('auth');
    const project = url.searchParams.get('projectId');
    if (!project || (projectId !== null && project !== projectId)) return { refused: 'project id' };
    if (!auth) return { refused: 'no token' };
    try {
      if (!(await verifyJWT(auth))) return { refused: 'token signature' };
      const { payload } = decodeJWT(auth);
      if (payload.exp * 1000 < Date.now()) return { refused: 'token expired' };
      return { claims: payload, projectId: project, path: url.pathname };
    } catch (error) {
      return { refused: `token: ${error.message}` };
    }
  }

  http.on('upgrade', async (request, socket, head) => {
    const verdict = await admit(request);
    if (verdict.refused) {
      emit({ event: 'refused', reason: verdict.refused });
      socket.end('HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\nConnection: close\r\n\r\n');
      return;
    }
    server.handleUpgrade(request, socket, head, (ws) => accept(ws, verdict));
  });

  function accept(ws, { claims, projectId: project, path }) {
    const client = { ws, iss: claims.iss, subscriptions: new Map(), muted: false };
    clients.add(client);
    emit({ event: 'connected', ...claims, projectId: project, path });
    ws.on('close', () => {
      clients.delete(client);
      emit({ event: 'closed', iss: client.iss });
    });
    ws.on('message', (data, isBinary) => {
      if (isBinary) return emit({ event: 'binary', iss: client.iss });
      let frame;
      try {
        frame = JSON.parse(data.toString());
      } catch {
        return emit({ event: 'unparsable', iss: client.iss, text: data.toString() });
      }
      emit({ event: 'frame', iss: client.iss, frame });
      if (frame && typeof frame === 'object' && 'method' in frame) request(client, frame);
      else acknowledged(client, frame);
    });
  }

  const live = (client) => client.ws.readyState === client.ws.OPEN && !client.muted;
  const answer = (client, id, result) => client.ws.send(JSON.stringify({ id, jsonrpc: '2.0', result }));
  const refuse = (client, id, code, message) =>
    client.ws.send(JSON.stringify({ id, jsonrpc: '2.0', error: { code, message } }));

  function deliver(client, topic, entry) {
    const subscription = client.subscriptions.get(topic);
    if (!subscription || !live(client) || entry.ackedBy.has(client.iss) || entry.from === client.iss) return;
    const id = nextDeliveryId++;
    awaitingAck.set(id, { entry, client });
    const data = { topic, message: entry.message, publishedAt: entry.publishedAt, tag: entry.tag };
    client.ws.send(JSON.stringify({ id, jsonrpc: '2.0', method: 'irn_subscription', params: { id: subscription, data } }));
  }

  function unexpired(topic) {
    const now = Date.now();
    const kept = (mailbox.get(topic) ?? []).filter((entry) => entry.expiresAt > now);
    mailbox.set(topic, kept);
    return kept;
  }

  function publish(from, topic, message, ttl = 300, tag = 0) {
    const publishedAt = Date.now();
    const entry = { message, tag, publishedAt, expiresAt: publishedAt + ttl * 1000, from, ackedBy: new Set() };
    unexpired(topic).push(entry);
    emit({ event: 'published', from, topic, message, ttl, tag });
    for (const client of clients) deliver(client, topic, entry);
  }

  function subscribe(client, topic) {
    const subscription = sha256Hex(topic + client.iss);
    client.subscriptions.set(topic, subscription);
    return subscription;
  }

  function acknowledged(client, frame) {
    const pending = awaitingAck.get(frame?.id);
    if (pending && pending.client === client && frame.result === true) {
      awaitingAck.delete(frame.id);
      pending.entry.ackedBy.add(client.iss);
      emit({ event: 'ack', iss: client.iss, id: frame.id });
    }
  }

  function request(client, frame) {
    const { id, method, params = {} } = frame;
    if (replies.has(method)) return client.ws.send(replies.get(method).replaceAll('$ID', JSON.stringify(id)));
    if (method === holdMethod) return held.push({ client, frame });
    switch (method) {
      case 'irn_subscribe': {
        if (typeof params.topic !== 'string') return refuse(client, id, -32602, 'Invalid topic');
        answer(client, id, subscribe(client, params.topic));
        // What the mailbox holds follows the answer, as the real relay sends it.
        for (const entry of unexpired(params.topic)) deliver(client, params.topic, entry);
        return;
      }
      case 'irn_batchSubscribe': {
        const topics = params.topics ?? [];
        answer(client, id, topics.map((topic) => subscribe(client, topic)));
        for (const topic of topics) for (const entry of unexpired(topic)) deliver(client, topic, entry);
        return;
      }
      case 'irn_unsubscribe':
        client.subscriptions.delete(params.topic);
        return answer(client, id, true);
      case 'irn_batchUnsubscribe':
        for (const { topic } of params.subscriptions ?? []) client.subscriptions.delete(topic);
        return answer(client, id, true);
      case 'irn_publish':
        if (typeof params.topic !== 'string' || typeof params.message !== 'string' || typeof params.ttl !== 'number') {
          return refuse(client, id, -32602, 'Invalid publish params');
        }
        publish(client.iss, params.topic, params.message, params.ttl, params.tag);
        return answer(client, id, true);
      case 'irn_batchFetchMessages': {
        const messages = [];
        for (const topic of params.topics ?? []) {
          for (const entry of unexpired(topic)) {
            if (entry.ackedBy.has(client.iss) || entry.from === client.iss) continue;
            entry.ackedBy.add(client.iss);
            messages.push({ topic, message: entry.message, publishedAt: entry.publishedAt, tag: entry.tag });
          }
        }
        return answer(client, id, { messages, hasMore: false });
      }
      case 'wc_proposeSession':
        // The dApp client's way of publishing its proposal on the pairing topic: the relay also
        // subscribes the proposer to that topic (the client does not), for the answer.
        subscribe(client, params.pairingTopic);
        publish(client.iss, params.pairingTopic, params.sessionProposal, params.ttl ?? 300, params.tag ?? 1100);
        return answer(client, id, true);
      default:
        return refuse(client, id, -32601, `Method not found: ${method}`);
    }
  }

  function control(op) {
    switch (op.op) {
      case 'publish':
        return publish('fixture', op.topic, op.message, op.ttl, op.tag);
      case 'send':
        for (const client of clients) if (live(client)) client.ws.send(op.text);
        return;
      case 'sendBinary':
        for (const client of clients) if (live(client)) client.ws.send(Buffer.from(op.hex, 'hex'), { binary: true });
        return;
      case 'hold':
        holdMethod = op.method;
        return;
      case 'release': {
        holdMethod = null;
        for (const { client, frame } of held.splice(0)) if (live(client)) request(client, frame);
        return;
      }
      case 'reply':
        if (op.text === null) replies.delete(op.method);
        else replies.set(op.method, op.text);
        return;
      case 'mute':
        for (const client of clients) {
          client.muted = true;
          client.ws._socket.pause();
        }
        return;
      case 'close':
        for (const client of clients) client.ws.close(1001, 'going away');
        return;
      default:
        throw new Error(`unknown op ${op.op}`);
    }
  }

  await new Promise((resolve, reject) => {
    http.once('error', reject);
    http.listen(port, '127.0.0.1', resolve);
  });
  const url = `ws://127.0.0.1:${http.address().port}`;
  emit({ event: 'listening', url, port: http.address().port });
  return {
    url,
    events,
    control,
    stop: () =>
      new Promise((resolve) => {
        for (const client of clients) client.ws.terminate();
        server.close();
        http.close(resolve);
      }),
  };
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const argument = (name) => {
    const at = process.argv.indexOf(name);
    return at > 0 ? process.argv[at + 1] : undefined;
  };
  const relay = await startRelay({
    port: Number(argument('--port') ?? 0),
    projectId: argument('--project-id') ?? null,
    onEvent: (event) => process.stdout.write(JSON.stringify(event) + '\n'),
  });
  const lines = createInterface({ input: process.stdin });
  // Each op is confirmed once done, so the test knows it holds before its next step.
  lines.on('line', (line) => {
    if (!line.trim()) return;
    const op = JSON.parse(line);
    relay.control(op);
    process.stdout.write(JSON.stringify({ event: 'done', seq: op.seq }) + '\n');
  });
  // The test ends the fixture by closing stdin (or by killing it).
  lines.on('close', () => relay.stop().then(() => process.exit(0)));
}
