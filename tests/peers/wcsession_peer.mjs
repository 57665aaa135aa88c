// The wallet's WalletConnect sessions against the real dApp client (@walletconnect/sign-client)
// over the loopback relay, with anvil on chains 1, 42161 and 137: pairing, approval and
// rejection, personal_sign (ethers recovers our address), typed data v4 (eth-sig-util
// recovers it), a signed transaction (its sender recovered), a sent one (exactly one on anvil,
// also when its envelope comes again), a request that expires while its approval is signed
// (still answered), rejections, deletion from each side, a restart of the
// wallet, and the end of its sessions when the wallet is deleted. Requests the client itself
// would never send (other chains, foreign addresses, bad typed data) are sealed by hand with the
// session key and published through the relay.
// Usage: node wcsession_peer.mjs <wcsession_driver>.
import { recoverTypedSignature, SignTypedDataVersion } from '@metamask/eth-sig-util';
import { decrypt, encrypt, getSdkError } from '@walletconnect/utils';
import { JsonRpcProvider, Transaction, verifyMessage } from 'ethers';
import { checker, spawnDriver } from './peer_harness.mjs';
import { startRelay } from './relay_fixture.mjs';
import { loopbackOnlyFetch, startCore, startDapp, withTimeout } from './wc_dapp.mjs';

loopbackOnlyFetch();
const { expectEqual, verdict } = checker();
const { driver, ask } = spawnDriver();
const failed = (reply, what) => {
  if (reply.error) throw new Error(`${what}: ${reply.error}`);
  return reply;
};

const password = 'peer password 1';
const relay = await startRelay();
const projectId = 'quillmark-peer';
const wallet = failed(await ask({ op: 'start', relay: relay.url, projectId, password }), 'start');
const address = wallet.address;
const node = (chain) => new JsonRpcProvider(wallet.rpc[chain], Number(chain), { staticNetwork: true });
expectEqual(failed(await ask({ op: 'setup' }), 'setup').connected, true, 'the relay is connected');

const core = await startCore(relay.url, projectId);
const dapp = await startDapp(core, 'Peer dApp');
const deletedByWallet = [];
dapp.on('session_delete', ({ topic }) => deletedByWallet.push(topic));

// Pairs and proposes; the wallet answers with `answer` ("approveProposal" or "rejectProposal").
async function connect(answer) {
  const { uri, approval } = await dapp.connect({
    optionalNamespaces: {
      eip155: {
        chains: ['eip155:1', 'eip155:42161', 'eip155:137'],
        methods: ['personal_sign', 'eth_signTypedData_v4', 'eth_sendTransaction', 'eth_signTransaction'],
        events: ['accountsChanged', 'chainChanged'],
      },
    },
  });
  // Awaited from the start: the client drops a session that arrives before anyone awaits it.
  const approving = withTimeout(approval(), 30_000, 'approval').catch((error) => ({ error }));
  failed(await ask({ op: 'pair', uri }), 'pair');
  const proposal = failed(await ask({ op: 'waitProposal' }), 'proposal');
  expectEqual(proposal.name, 'Peer dApp', 'the proposer');
  failed(await ask({ op: answer, id: proposal.id }), answer);
  return approving;
}

// A request the dApp makes while the wallet answers it with `walletOp` ("sign" or
// "rejectRequest"); the dApp's result, or its error.
async function request(topic, chainId, method, params, walletOp = 'sign') {
  const asking = withTimeout(dapp.request({ topic, chainId, request: { method, params } }), 30_000, method)
    .then((result) => ({ result }), (error) => ({ error }));
  const shown = await ask({ op: 'waitRequest', id: await nextRequestId(topic) });
  if (shown.error) return { error: { message: shown.error } };
  failed(await ask({ op: walletOp, id: shown.id, password }), walletOp);
  return { ...(await asking), shown };
}

// The id of the dApp's next request on `topic`, read from the relay as it passes.
async function nextRequestId(topic) {
  const deadline = Date.now() + 20_000;
  const symKey = core.crypto.keychain.get(topic);
  while (Date.now() < deadline) {
    for (const event of relay.events) {
      if (event.event !== 'published' || event.topic !== topic || event.tag !== 1108) continue;
      if (event.from === 'fixture' || event.seen) continue;
      event.seen = true;
      return JSON.parse(decrypt({ symKey, encoded: event.message })).id;
    }
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
  throw new Error('the dApp sent no request');
}

// The relay client of the wallet: the one that settled the session on `topic`.
function walletClient(topic) {
  const settled = relay.events.find((event) => event.event === 'published' && event.topic === topic && event.tag === 1102);
  if (!settled) throw new Error('the session was never settled');
  return settled.from;
}

// A request sealed by hand under the session key: what the dApp client would refuse to send.
async function handMade(topic, id, chainId, method, params) {
  const symKey = core.crypto.keychain.get(topic);
  const body = { id, jsonrpc: '2.0', method: 'wc_sessionRequest', params: { request: { method, params }, chainId } };
  relay.control({ op: 'publish', topic, message: encrypt({ type: 0, symKey, message: JSON.stringify(body) }), tag: 1108 });
  const deadline = Date.now() + 20_000;
  while (Date.now() < deadline) {
    for (const event of relay.events) {
      // The dApp client gets the hand-made request too and may answer it itself: only the
      // wallet's answers count.
      if (event.event !== 'published' || event.topic !== topic || event.tag !== 1109 || event.from !== walletClient(topic)) continue;
      const answer = JSON.parse(decrypt({ symKey, encoded: event.message }));
      if (answer.id === id) return answer;
    }
    // The wallet reads its relay only while the driver runs its event loop.
    await ask({ op: 'spin', ms: 100 });
  }
  throw new Error(`no answer to ${method}`);
}

// Approve: the client holds our namespaces.
const session = await connect('approveProposal');
expectEqual(session.error, undefined, 'the dApp takes the session');
const topic = session.topic;
const accounts = ['eip155:1', 'eip155:42161', 'eip155:137'].map((chain) => `${chain}:${address}`);
expectEqual(JSON.stringify(session.namespaces?.eip155?.accounts), JSON.stringify(accounts), 'accounts');
expectEqual(JSON.stringify(session.namespaces?.eip155?.methods),
  JSON.stringify(['personal_sign', 'eth_signTypedData_v4', 'eth_sendTransaction', 'eth_signTransaction']),
  'methods: eth_sign is not offered');
expectEqual(session.peer.metadata.name, 'Quillmark', 'the wallet introduces itself');

// personal_sign of text and of bytes.
const hello = '0x' + Buffer.from('Hello from the dApp', 'utf8').toString('hex');
const signed = await request(topic, 'eip155:1', 'personal_sign', [hello, address]);
expectEqual(signed.shown.summary, 'Hello from the dApp', 'the message shown decoded');
expectEqual(verifyMessage('Hello from the dApp', signed.result), address, 'ethers recovers our address');
const raw = '0x' + 'ff'.repeat(32);
const signedBytes = await request(topic, 'eip155:137', 'personal_sign', [raw, address]);
expectEqual(verifyMessage(Buffer.from('ff'.repeat(32), 'hex'), signedBytes.result), address, 'bytes signed as bytes');

// eth_signTypedData_v4 on Arbitrum.
const typed = {
  types: {
    EIP712Domain: [{ name: 'name', type: 'string' }, { name: 'chainId', type: 'uint256' }, { name: 'verifyingContract', type: 'address' }],
    Permit: [{ name: 'owner', type: 'address' }, { name: 'spender', type: 'address' }, { name: 'value', type: 'uint256' },
      { name: 'deadline', type: 'uint256' }, { name: 'tags', type: 'bytes32[]' }],
  },
  primaryType: 'Permit',
  domain: { name: 'Token', chainId: 42161, verifyingContract: '0xCcCCccccCCCCcCCCCCCcCcCccCcCCCcCcccccccC' },
  message: { owner: address, spender: '0x2222222222222222222222222222222222222222',
    value: '115792089237316195423570985008687907853269984665640564039457584007913129639935', deadline: 1893456000,
    tags: ['0x' + '11'.repeat(32)] },
};
const typedSigned = await request(topic, 'eip155:42161', 'eth_signTypedData_v4', [address, JSON.stringify(typed)]);
expectEqual(
  recoverTypedSignature({ data: typed, signature: typedSigned.result, version: SignTypedDataVersion.V4 }),
  address.toLowerCase(), 'eth-sig-util recovers our address');

// eth_signTransaction: signed for the request's chain, sent nowhere.
const to = '0x2222222222222222222222222222222222222222';
for (const chain of ['1', '42161', '137']) {
  const before = await node(chain).getTransactionCount(address);
  const signedTx = await request(topic, `eip155:${chain}`, 'eth_signTransaction',
    [{ from: address, to, value: '0x2386f26fc10000' }]);
  const transaction = Transaction.from(signedTx.result);
  expectEqual(transaction.from, address, `the sender recovered on ${chain}`);
  expectEqual(transaction.chainId, BigInt(chain), `chain id ${chain}`);
  expectEqual(transaction.value, 10n ** 16n, `value on ${chain}`);
  expectEqual(await node(chain).getTransactionCount(address), before, `nothing sent on ${chain}`);
}

// eth_sendTransaction on Polygon: one transaction, also when its envelope comes again.
const sent = await request(topic, 'eip155:137', 'eth_sendTransaction',
  [{ from: address, to, value: '0x14d1120d7b160000' }]);
expectEqual(sent.shown.summary, 'Send 1.5 POL to 0x222222...222222', 'the send shown with its coin');
const mined = await node('137').waitForTransaction(sent.result, 1, 10_000);
expectEqual(mined?.status, 1, 'mined');
expectEqual((await node('137').getTransaction(sent.result)).from, address, 'sent from our address');
expectEqual(await node('137').getBalance(to), 15n * 10n ** 17n, 'the recipient has 1.5 POL');
const sendEnvelope = relay.events.filter((e) => e.event === 'published' && e.topic === topic && e.tag === 1108).at(-1);
const symKey = core.crypto.keychain.get(topic);
const resealed = encrypt({ type: 0, symKey, message: decrypt({ symKey, encoded: sendEnvelope.message }) });
for (const message of [sendEnvelope.message, resealed]) relay.control({ op: 'publish', topic, message, tag: 1108 });
await ask({ op: 'spin', ms: 1500 });
expectEqual((await ask({ op: 'requestCount' })).count, 0, 'the copies wait for nobody');
expectEqual(await node('137').getTransactionCount(address), 1, 'exactly one transaction on anvil');

// The user rejects.
const rejected = await request(topic, 'eip155:1', 'personal_sign', [hello, address], 'rejectRequest');
expectEqual(rejected.error?.code, 5000, 'the dApp hears "User rejected"');

// What the client would never send is refused at once, with the protocol's codes.
const other = '0x1111111111111111111111111111111111111111';
expectEqual((await handMade(topic, 900, 'eip155:10', 'personal_sign', [hello, address])).error?.code, 5100, 'another chain');
expectEqual((await handMade(topic, 901, 'eip155:1', 'personal_sign', [hello, other])).error?.code, 5103, 'a foreign address');
expectEqual((await handMade(topic, 902, 'eip155:1', 'eth_sendTransaction', [{ from: other, to }])).error?.code, 5103, 'a foreign sender');
expectEqual((await handMade(topic, 903, 'eip155:1', 'eth_signTypedData_v4', [address, JSON.stringify(typed)])).error?.code,
  -32602, 'typed data of another chain');
const incomplete = { ...typed, message: { ...typed.message, value: undefined } };
expectEqual((await handMade(topic, 904, 'eip155:42161', 'eth_signTypedData_v4', [address, JSON.stringify(incomplete)])).error?.code,
  -32602, 'incomplete typed data');
expectEqual((await handMade(topic, 905, 'eip155:137', 'eth_sendTransaction', [{ to, value: '1.5' }])).error?.code,
  -32602, 'a value that does not parse');
expectEqual(await node('137').getTransactionCount(address), 1, 'nothing more sent');

// A request that expires while the user's approval is being signed (the wallet's clock runs
// ahead here, so a request given the client's shortest life expires within seconds): the dApp
// still hears the signature, or the hash of the transaction that went out, never "expired".
// A chainId in the transaction that does not parse is refused as another chain's is.
expectEqual((await handMade(topic, 906, 'eip155:137', 'eth_sendTransaction', [{ to, value: '0x1', chainId: '0xzz' }])).error?.code,
  -32602, 'a chainId that does not parse');
failed(await ask({ op: 'clockAhead', ms: 295_000 }), 'clockAhead');
for (const [method, chainId, params] of [
  ['personal_sign', 'eip155:1', [hello, address]],
  ['eth_sendTransaction', 'eip155:137', [{ from: address, to, value: '0x1' }]],
]) {
  const asking = withTimeout(dapp.request({ topic, chainId, request: { method, params }, expiry: 300 }), 30_000, method)
    .then((result) => ({ result }), (error) => ({ error }));
  const shown = failed(await ask({ op: 'waitRequest', id: await nextRequestId(topic) }), `${method} shown`);
  const late = failed(await ask({ op: 'signAcrossExpiry', id: shown.id, password }), `${method} signed late`);
  expectEqual(late.listedPastExpiry, true, `${method}: waits for its signature past its expiry`);
  const heard = await asking;
  expectEqual(heard.error?.code ?? heard.error?.message, undefined, `${method}: no error for what went out`);
  if (heard.error) continue;
  if (method === 'personal_sign') {
    expectEqual(verifyMessage('Hello from the dApp', heard.result), address, 'the signature, past the expiry');
  } else {
    const landed = await node('137').waitForTransaction(heard.result, 1, 10_000);
    expectEqual(landed?.status, 1, 'the hash of the transaction that went out, past the expiry');
  }
}
failed(await ask({ op: 'clockAhead', ms: 0 }), 'clockAhead');
expectEqual((await ask({ op: 'requestCount' })).count, 0, 'nothing left waiting');

// The wallet restarts: the session is read back and still answers.
expectEqual(failed(await ask({ op: 'restart', password }), 'restart').sessions, 1, 'the session survives a restart');
const afterRestart = await request(topic, 'eip155:1', 'personal_sign', [hello, address]);
expectEqual(verifyMessage('Hello from the dApp', afterRestart.result), address, 'answered after the restart');

// The wallet rejects a proposal: the dApp's approval fails.
const refused = await connect('rejectProposal');
expectEqual(refused.error?.message?.includes('User rejected') || refused.error?.code === 5000, true,
  `the dApp hears the rejection (${refused.error?.message})`);

// Deleted from the dApp's side.
await dapp.disconnect({ topic, reason: getSdkError('USER_DISCONNECTED') });
expectEqual(failed(await ask({ op: 'waitSessions', count: 0 }), 'delete').sessions.length, 0, 'the dApp deleted it');

// Deleted from the wallet's side.
const second = await connect('approveProposal');
expectEqual(second.error, undefined, 'a second session');
failed(await ask({ op: 'disconnect', topic: second.topic }), 'disconnect');
const deadline = Date.now() + 20_000;
while (!deletedByWallet.includes(second.topic) && Date.now() < deadline) await ask({ op: 'spin', ms: 100 });
expectEqual(deletedByWallet.includes(second.topic), true, 'the dApp hears the wallet disconnect');

// "Delete Wallet" ends every session: the dApp hears it, and the file with the keys is gone.
const third = await connect('approveProposal');
expectEqual(third.error, undefined, 'a third session');
const gone = failed(await ask({ op: 'deleteWallet' }), 'deleteWallet');
expectEqual(gone.sessions, 0, 'no session listed once the wallet is deleted');
expectEqual(gone.file, false, 'the sessions file is removed with the wallet');
const ending = Date.now() + 20_000;
while (!deletedByWallet.includes(third.topic) && Date.now() < ending) await ask({ op: 'spin', ms: 100 });
expectEqual(deletedByWallet.includes(third.topic), true, 'the dApp hears that the deleted wallet ended its session');

await core.relayer.transportClose().catch(() => {});
driver.stdin.end();
await new Promise((resolve) => driver.on('exit', resolve));
await relay.stop();
verdict('WalletConnect sessions checked against the dApp client');
