// Our seeds, addresses (receive, change, public branch) and signatures for random phrases
// against @scure/bip39, @scure/bip32, @scure/base, ethers and @noble. Usage: node keys_peer.mjs <keys_driver>.
import { entropyToMnemonic, mnemonicToSeedSync } from '@scure/bip39';
import { wordlist } from '@scure/bip39/wordlists/english.js';
import { HDKey } from '@scure/bip32';
import { bech32, base58 } from '@scure/base';
import { secp256k1 } from '@noble/curves/secp256k1.js';
import { ed25519 } from '@noble/curves/ed25519.js';
import { sha256 } from '@noble/hashes/sha2.js';
import { keccak_256 } from '@noble/hashes/sha3.js';
import { computeAddress } from 'ethers';
import { ripemd160 } from '@noble/hashes/legacy.js';
import { bytesToHex, utf8ToBytes } from '@noble/hashes/utils.js';
import { driverSession, slip10Ed25519 } from './peer_harness.mjs';

const { bytes, ask, expectEqual, finish } = driverSession();

const segwit = (publicKey) =>
  bech32.encode('bc', [0, ...bech32.toWords(ripemd160(sha256(publicKey)))]);

const H = 0x80000000;
function expected(phrase) {
  const seedBytes = mnemonicToSeedSync(phrase, '');
  const root = HDKey.fromMasterSeed(seedBytes);
  const btc = root.derive("m/84'/0'/0'/0/0");
  const account = root.derive("m/84'/0'/0'");
  const eth = root.derive("m/44'/60'/0'/0/0");
  const sol = slip10Ed25519(seedBytes, [44 + H, 501 + H, H, H]);
  const btcHash = sha256(utf8ToBytes('Quillmark peer BTC'));
  const ethHash = keccak_256(utf8ToBytes('Quillmark peer ETH'));
  const recovered = secp256k1.sign(ethHash, eth.privateKey, { prehash: false, format: 'recovered' });
  return {
    seed: bytesToHex(seedBytes),
    btc: segwit(btc.publicKey),
    btcChange: segwit(root.derive("m/84'/0'/0'/1/0").publicKey),
    btcPublic: segwit(HDKey.fromExtendedKey(account.publicExtendedKey).deriveChild(0).deriveChild(1).publicKey),
    eth: computeAddress(`0x${bytesToHex(eth.privateKey)}`),
    sol: base58.encode(ed25519.getPublicKey(sol)),
    btcDER: bytesToHex(secp256k1.sign(btcHash, btc.privateKey, { prehash: false, format: 'der' })),
    ethCompact: bytesToHex(recovered.slice(1)),
    ethRecoveryID: recovered[0],
    solSignature: bytesToHex(ed25519.sign(utf8ToBytes('Quillmark peer SOL'), sol)),
  };
}

const abandon = `${'abandon '.repeat(11)}about`;
const phrases = [abandon];
for (let n = 0; n < 50; n++) phrases.push(entropyToMnemonic(bytes(n % 2 ? 32 : 16), wordlist));

// Published addresses of the abandon phrase.
const known = expected(abandon);
for (const [field, value] of [
  ['btc', 'bc1qcr8te4kr609gcawutmrza0j4xv80jy8z306fyu'],
  ['eth', '0x9858EfFD232B4033E47d90003D41EC34EcaEda94'],
  ['sol', 'HAgk14JpMQLgt6rVgv7cBQFJWFto5Dqxi472uT3DKpqk'],
]) {
  expectEqual(known[field], value, `peer derivation of the abandon phrase: ${field}`);
}

phrases.forEach((phrase, n) => {
  ask({ phrase }, (ours) => {
    const theirs = expected(phrase);
    for (const field of Object.keys(theirs)) expectEqual(ours[field], theirs[field], `phrase ${n} ${field}`);
  });
});

finish();
