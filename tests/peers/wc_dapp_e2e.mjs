// The dApp of the end-to-end WalletConnect scenario (tests/e2e): on the loopback relay it
// prints its pairing URI, waits for the session, asks for a personal_sign and then for a typed
// data signature, printing each outcome as one JSON line. Usage: node wc_dapp_e2e.mjs <relay URL>.
import { verifyMessage } from 'ethers';
import { loopbackOnlyFetch, startCore, startDapp, withTimeout } from './wc_dapp.mjs';

loopbackOnlyFetch();
const say = (line) => process.stdout.write(JSON.stringify(line) + '\n');
const core = await startCore(process.argv[2], 'quillmark-e2e');
const dapp = await startDapp(core, 'End-to-end dApp');
const { uri, approval } = await dapp.connect({
  optionalNamespaces: {
    eip155: { chains: ['eip155:1', 'eip155:137'], methods: ['personal_sign', 'eth_signTypedData_v4'], events: [] },
  },
});
const approving = withTimeout(approval(), 120_000, 'approval');
say({ uri });
const session = await approving;
const accounts = session.namespaces.eip155.accounts;
say({ approved: accounts });
const address = accounts[0].split(':')[2];
const message = 'Sign in to the end-to-end dApp';
const hex = '0x' + Buffer.from(message, 'utf8').toString('hex');
const signature = await withTimeout(dapp.request({
  topic: session.topic, chainId: 'eip155:1', request: { method: 'personal_sign', params: [hex, address] },
}), 120_000, 'personal_sign');
say({ signature, recovered: verifyMessage(message, signature) === address });
const typed = {
  types: { EIP712Domain: [{ name: 'name', type: 'string' }], Note: [{ name: 'text', type: 'string' }] },
  primaryType: 'Note', domain: { name: 'End to end' }, message: { text: 'please reject me' },
};
const refused = await withTimeout(dapp.request({
  topic: session.topic, chainId: 'eip155:137',
  request: { method: 'eth_signTypedData_v4', params: [address, JSON.stringify(typed)] },
}), 120_000, 'typed data').then(() => ({ code: 'signed' }), (error) => ({ code: error.code }));
say({ rejected: refused.code });
await core.relayer.transportClose().catch(() => {});
process.exit(0);
