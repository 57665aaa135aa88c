// The application state's accounts after random added, deleted, re-locked and restarted
// Bitcoin addresses against @scure/bip32, @scure/base, ethers, bitcoinjs-lib and @noble: the
// addresses, and the keys through what the signer signed with them (it gives out no key).
// Usage: node appstate_peer.mjs <appstate_driver>. QM_SEED replays a run.
import { entropyToMnemonic, mnemonicToSeedSync } from '@scure/bip39';
import { wordlist } from '@scure/bip39/wordlists/english.js';
import { HDKey } from '@scure/bip32';
import { bech32, base58 } from '@scure/base';
import { computeAddress, Transaction } from 'ethers';
import * as bitcoin from 'bitcoinjs-lib';
import * as ecc from 'tiny-secp256k1';
import { ed25519 } from '@noble/curves/ed25519.js';
import { sha256 } from '@noble/hashes/sha2.js';
import { ripemd160 } from '@noble/hashes/legacy.js';
import { bytesToHex, hexToBytes } from '@noble/hashes/utils.js';
import { driverSession, slip10Ed25519 } from './peer_harness.mjs';

const { int, bytes, ask, expectEqual, finish } = driverSession();
bitcoin.initEccLib(ecc);

// Whether input 0 of the transaction is signed by `publicKey` for a coin of `value` sats.
function signedBy(txHex, publicKey, value) {
  const tx = bitcoin.Transaction.fromHex(txHex);
  const [signature, witnessKey] = tx.ins[0].witness;
  if (bytesToHex(witnessKey) !== bytesToHex(publicKey)) return false;
  const decoded = bitcoin.script.signature.decode(signature);
  const scriptCode = bitcoin.payments.p2pkh({ pubkey: Buffer.from(publicKey) }).output;
  const digest = tx.hashForWitnessV0(0, scriptCode, BigInt(value), bitcoin.Transaction.SIGHASH_ALL);
  return ecc.verify(digest, publicKey, decoded.signature, true);
}
const H = 0x80000000;

const segwit = (publicKey) => bech32.encode('bc', [0, ...bech32.toWords(ripemd160(sha256(publicKey)))]);
const scriptHash = (publicKey) => bytesToHex(sha256(new Uint8Array([0, 20, ...ripemd160(sha256(publicKey))])).reverse());

// New addresses take the next index never used; the first address cannot be deleted.
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
    reply.btc.forEach((address) => {
      const node = root.derive(`m/84'/0'/0'/0/${address.index}`);
      expectEqual(address.address, segwit(node.publicKey), `address ${address.index} ${what}`);
      expectEqual(address.scriptHash, scriptHash(node.publicKey), `script hash ${what}`);
      expectEqual(signedBy(address.spend, node.publicKey, address.value), true, `key ${address.index} ${what}`);
    });
    const eth = root.derive("m/44'/60'/0'/0/0");
    expectEqual(reply.eth.address, computeAddress(`0x${bytesToHex(eth.privateKey)}`), `eth ${what}`);
    expectEqual(Transaction.from(reply.eth.signed).from, computeAddress(`0x${bytesToHex(eth.privateKey)}`), `eth key ${what}`);
    const sol = slip10Ed25519(seedBytes, [44 + H, 501 + H, H, H]);
    expectEqual(reply.sol.address, base58.encode(ed25519.getPublicKey(sol)), `sol ${what}`);
    expectEqual(ed25519.verify(hexToBytes(reply.sol.signature), hexToBytes(reply.sol.message), ed25519.getPublicKey(sol)), true, `sol key ${what}`);
  });
}
finish();
