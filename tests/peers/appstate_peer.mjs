// Checks the application state's accounts against independent implementations: for random
// phrases (@scure/bip39) and random sequences of added, deleted, re-locked and restarted
// Bitcoin addresses, every address is the P2WPKH address (@scure/bip32, bech32 of
// @scure/base) of the receive index this script expects from the same sequence, its script
// hash and private key match, deleted indices never come back, and the EVM account (ethers)
// and the Solana account (SLIP-10 over @noble/hashes, Ed25519 of @noble/curves) match.
// Usage: node appstate_peer.mjs <appstate_driver>. QM_SEED replays a run.
import { entropyToMnemonic, mnemonicToSeedSync } from '@scure/bip39';
import { wordlist } from '@scure/bip39/wordlists/english.js';
import { HDKey } from '@scure/bip32';
import { bech32, base58 } from '@scure/base';
import { computeAddress } from 'ethers';
import { ed25519 } from '@noble/curves/ed25519.js';
import { sha256 } from '@noble/hashes/sha2.js';
import { ripemd160 } from '@noble/hashes/legacy.js';
import { bytesToHex, utf8ToBytes } from '@noble/hashes/utils.js';
import { seededRandom, runSeed, driverSession, slip10Ed25519 } from './peer_harness.mjs';

const driver = process.argv[2];
const seed = runSeed();
const { int, bytes } = seededRandom(seed);
const { ask, expectEqual, finish } = driverSession(driver, seed);
const H = 0x80000000;

function segwit(publicKey) {
  const program = ripemd160(sha256(publicKey));
  return bech32.encode('bc', [0, ...bech32.toWords(program)]);
}

function scriptHash(publicKey) {
  const script = new Uint8Array([0x00, 0x14, ...ripemd160(sha256(publicKey))]);
  return bytesToHex(sha256(script).reverse());
}

// The receive indices a sequence of operations leaves: new addresses take the next index
// never used; the first address cannot be deleted.
function expectedIndices(ops) {
  const list = [0, 1, 2, 3, 4];
  let next = 5;
  for (const op of ops) {
    if (op === 'gen') list.push(next++);
    else if (op.startsWith('del:')) {
      const position = Number(op.slice(4));
      if (position > 0 && position < list.length) list.splice(position, 1);
    }
  }
  return list;
}

function randomOps() {
  const ops = [];
  const count = 3 + int(8);
  for (let n = 0; n < count; n++) {
    const roll = int(10);
    if (roll < 4) ops.push('gen');
    else if (roll < 8) ops.push(`del:${int(8)}`);
    else ops.push(roll === 8 ? 'relock' : 'restart');
  }
  return ops;
}

const cases = [{ phrase: `${'abandon '.repeat(11)}about`, ops: ['gen', 'del:2', 'restart', 'gen'] }];
for (let n = 0; n < 12; n++) {
  cases.push({ phrase: entropyToMnemonic(bytes(n % 2 ? 32 : 16), wordlist), ops: randomOps() });
}

for (const request of cases) {
  const seedBytes = mnemonicToSeedSync(request.phrase, '');
  const root = HDKey.fromMasterSeed(seedBytes);
  const indices = expectedIndices(request.ops);
  ask(request, (reply) => {
    const what = `${request.ops.join(',')} of "${request.phrase.split(' ')[0]} ..."`;
    expectEqual(JSON.stringify(reply.btc.map((a) => a.index)), JSON.stringify(indices), `indices ${what}`);
    reply.btc.forEach((address, position) => {
      const node = root.derive(`m/84'/0'/0'/0/${address.index}`);
      expectEqual(address.id, position, `id ${what}`);
      expectEqual(address.path, `m/84'/0'/0'/0/${address.index}`, `path ${what}`);
      expectEqual(address.address, segwit(node.publicKey), `address ${address.index} ${what}`);
      expectEqual(address.scriptHash, scriptHash(node.publicKey), `script hash ${what}`);
      expectEqual(address.key, bytesToHex(node.privateKey), `key ${address.index} ${what}`);
    });
    const eth = root.derive("m/44'/60'/0'/0/0");
    expectEqual(reply.eth.address, computeAddress(`0x${bytesToHex(eth.privateKey)}`), `eth ${what}`);
    expectEqual(reply.eth.key, bytesToHex(eth.privateKey), `eth key ${what}`);
    const sol = slip10Ed25519(seedBytes, [44 + H, 501 + H, H, H]);
    expectEqual(reply.sol.address, base58.encode(ed25519.getPublicKey(sol)), `sol ${what}`);
    expectEqual(reply.sol.key, bytesToHex(sol), `sol key ${what}`);
  });
}
finish();
