// Our WalletConnect transport against the dApp side's own libraries: envelopes both ways, keys
// and topics against @walletconnect/utils, our relay token through @walletconnect/relay-auth,
// pairing URIs that @walletconnect/core makes, and a whole session proposal of
// @walletconnect/sign-client answered by our relay client over the loopback relay.
// Usage: node walletconnect_peer.mjs <walletconnect_driver>.
import { decodeIss, decodeJWT, verifyJWT } from '@walletconnect/relay-auth';
import { decrypt, deriveSymKey, deserialize, encrypt, formatUri, generateKeyPair, hashKey } from '@walletconnect/utils';
import { checker, runSeed, seededRandom, spawnDriver } from './peer_harness.mjs';
import { startRelay } from './relay_fixture.mjs';
import { loopbackOnlyFetch, startCore, startDapp, withTimeout } from './wc_dapp.mjs';

loopbackOnlyFetch();

const seed = runSeed();
const { int, pick, bytes } = seededRandom(seed);
const { expectEqual, verdict } = checker();
const { driver, ask } = spawnDriver();
const hex = (u8) => Buffer.from(u8).toString('hex');
const pieces = ['a', 'Z', '0', ' ', '"', '\\', '{', '}', 'é', '€', '中', '😀', '\n'];
const randomText = (length) => Array.from({ length }, () => pick(pieces)).join('');

// Keys, topics and envelopes.
for (let i = 0; i < 150; i++) {
  const a = generateKeyPair();
  const b = generateKeyPair();
  const key = deriveSymKey(a.privateKey, b.publicKey);
  expectEqual((await ask({ op: 'derive', privateKey: a.privateKey, publicKey: b.publicKey })).key, key, `derive ${i}`);
  expectEqual((await ask({ op: 'derive', privateKey: b.privateKey, publicKey: a.publicKey })).key, key, `derive back ${i}`);
  expectEqual((await ask({ op: 'topic', key })).topic, hashKey(key), `topic ${i}`);

  const message = randomText(1 + int(i < 10 ? 3 : 1500));
  const ours0 = (await ask({ op: 'seal0', key, message })).envelope;
  expectEqual(Number(deserialize({ encoded: ours0 }).type), 0, `our type 0 byte ${i}`);
  expectEqual(decrypt({ symKey: key, encoded: ours0 }), message, `library opens our type 0 ${i}`);
  const theirs0 = encrypt({ type: 0, symKey: key, message });
  expectEqual((await ask({ op: 'open0', key, envelope: theirs0 })).message, message, `we open type 0 ${i}`);

  const ours1 = (await ask({ op: 'seal1', key, message, sender: a.publicKey })).envelope;
  const fields = deserialize({ encoded: ours1 });
  expectEqual(Number(fields.type), 1, `our type 1 byte ${i}`);
  expectEqual(hex(fields.senderPublicKey), a.publicKey, `our type 1 sender ${i}`);
  expectEqual(decrypt({ symKey: key, encoded: ours1 }), message, `library opens our type 1 ${i}`);
  const theirs1 = encrypt({ type: 1, symKey: key, message, senderPublicKey: b.publicKey });
  const opened1 = await ask({ op: 'open1', key, envelope: theirs1 });
  expectEqual(opened1.sender, b.publicKey, `we read the type 1 sender ${i}`);
  expectEqual(opened1.message, message, `we open type 1 ${i}`);
  // Under another key the library's envelope does not open.
  const other = hex(bytes(32));
  expectEqual(typeof (await ask({ op: 'open0', key: other, envelope: theirs0 })).refused, 'string', `wrong key ${i}`);
}
// The library seals an empty message into 29 bytes: too short to be one of ours.
const emptyKey = hex(bytes(32));
expectEqual(
  (await ask({ op: 'open0', key: emptyKey, envelope: encrypt({ type: 0, symKey: emptyKey, message: '' }) })).refused,
  'Crypto: Invalid Type 0 envelope',
  'empty message',
);

// Relay tokens.
for (let i = 0; i < 20; i++) {
  const audience = pick(['wss://relay.walletconnect.org', 'ws://127.0.0.1:9010']);
  const { token, issuer } = await ask({ op: 'token', audience });
  expectEqual(await verifyJWT(token), true, `relay-auth verifies token ${i}`);
  const decoded = decodeJWT(token);
  expectEqual(JSON.stringify(decoded.header), '{"alg":"EdDSA","typ":"JWT"}', `token header ${i}`);
  expectEqual(decoded.payload.iss, issuer, `token issuer ${i}`);
  expectEqual(decoded.payload.aud, audience, `token audience ${i}`);
  expectEqual(decoded.payload.exp - decoded.payload.iat, 86400, `token lifetime ${i}`);
  expectEqual(decodeIss(issuer).length, 32, `issuer key ${i}`);
}

// Pairing URIs as @walletconnect/core makes them (over the loopback relay), and as formatUri does.
const relay = await startRelay();
const projectId = 'quillmark-peer';
const core = await startCore(relay.url, projectId);
for (let i = 0; i < 5; i++) {
  const { topic, uri } = await core.pairing.create({ methods: i % 2 ? ['wc_sessionPropose'] : undefined });
  const parsed = await ask({ op: 'uri', uri: pick(['', ' ', '\n']) + uri + pick(['', '\n', ' \r\n']) });
  expectEqual(parsed.topic, topic, `core URI topic ${i}`);
  expectEqual(parsed.symKey, core.crypto.keychain.get(topic), `core URI key ${i}`);
  expectEqual(parsed.expiryTimestamp, core.pairing.pairings.get(topic).expiry, `core URI expiry ${i}`);
  expectEqual(parsed.relayProtocol, 'irn', `core URI relay ${i}`);
  for (const broken of [uri.replace('wc:', 'WC:'), uri.replace('@2?', '@1?'), uri.replace(/symKey=[0-9a-f]+/, 'symKey=0x00')]) {
    expectEqual((await ask({ op: 'uri', uri: broken })).refused, true, `broken core URI ${broken}`);
  }
}
for (let i = 0; i < 20; i++) {
  const topic = hex(bytes(32));
  const symKey = hex(bytes(32));
  const expiryTimestamp = 1_700_000_000 + int(1e6);
  const uri = formatUri({ protocol: 'wc', version: 2, topic, symKey, relay: { protocol: 'irn' }, expiryTimestamp });
  const parsed = await ask({ op: 'uri', uri });
  expectEqual(`${parsed.topic}/${parsed.symKey}/${parsed.expiryTimestamp}`, `${topic}/${symKey}/${expiryTimestamp}`, `formatUri ${i}`);
}

// A session: the dApp proposes, our relay client and envelopes settle and answer, the dApp
// acknowledges the settlement and holds the session.
const dapp = await startDapp(core);
const { uri, approval } = await dapp.connect({
  optionalNamespaces: { eip155: { chains: ['eip155:1'], methods: ['personal_sign'], events: ['accountsChanged'] } },
});
// Awaited from the start: the client drops a session that arrives before anyone awaits it.
const approving = withTimeout(approval(), 30_000, 'approval').catch((error) => ({ error: error.message }));
const address = '0x' + hex(bytes(20));
const approved = await ask({ op: 'approve', relay: relay.url, projectId, uri, address });
expectEqual(approved.error, undefined, 'wallet side of the session');
expectEqual(approved.proposal?.method, 'wc_sessionPropose', 'proposal read from the pairing topic');
expectEqual(approved.proposal?.params?.proposer?.metadata?.name, 'Peer dApp', 'proposer');
const session = await approving;
expectEqual(session.error, undefined, 'the dApp takes the session');
expectEqual(session.topic, approved.sessionTopic, 'session topic');
expectEqual(session.namespaces?.eip155?.accounts?.[0], `eip155:1:${address}`, 'session account');
// The client writes an id beyond 2^53 as a text with an "n" after the digits.
expectEqual(String(approved.acknowledgement?.id).replace(/n$/, ''), approved.settleId, 'settlement acknowledged by its id');
expectEqual(approved.acknowledgement?.result, true, 'settlement accepted');

await core.relayer.transportClose().catch(() => {});
await relay.stop();
driver.stdin.end();
verdict(`WalletConnect transport checked (seed ${seed})`);
