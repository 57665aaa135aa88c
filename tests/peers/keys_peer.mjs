// Checks our key derivation against independent implementations: for random recovery
// phrases (@scure/bip39), the seed, the Bitcoin P2WPKH addresses (@scure/bip32, bech32 of
// @scure/base), the Ethereum EIP-55 address and the Solana address (SLIP-10 and Ed25519 written
// here over @noble/hashes and @noble/curves), and the signatures our driver makes with those keys.
// Usage: node keys_peer.mjs <keys_driver>. Phrases come from a seed printed on failure (set
// QM_SEED to replay one).
import { spawnSync } from 'node:child_process';
import { entropyToMnemonic, mnemonicToSeedSync } from '@scure/bip39';
import { wordlist } from '@scure/bip39/wordlists/english.js';
import { HDKey } from '@scure/bip32';
import { bech32, base58 } from '@scure/base';
import { secp256k1 } from '@noble/curves/secp256k1.js';
import { ed25519 } from '@noble/curves/ed25519.js';
import { hmac } from '@noble/hashes/hmac.js';
import { sha256, sha512 } from '@noble/hashes/sha2.js';
import { keccak_256 } from '@noble/hashes/sha3.js';
import { ripemd160 } from '@noble/hashes/legacy.js';
import { bytesToHex, utf8ToBytes } from '@noble/hashes/utils.js';

const driver = process.argv[2];
const seed = Number(process.env.QM_SEED ?? Date.now() % 2 ** 31);
const COUNT = 50;

// mulberry32: small, seedable, good enough to pick test cases.
let state = seed >>> 0;
function random() {
  state = (state + 0x6d2b79f5) >>> 0;
  let t = state;
  t = Math.imul(t ^ (t >>> 15), t | 1);
  t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
  return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
}
const bytes = (n) => Uint8Array.from({ length: n }, () => Math.floor(random() * 256));

const segwit = (publicKey) =>
  bech32.encode('bc', [0, ...bech32.toWords(ripemd160(sha256(publicKey)))]);

function eip55(uncompressed) {
  const lower = bytesToHex(keccak_256(uncompressed.slice(1)).slice(12));
  const hash = bytesToHex(keccak_256(utf8ToBytes(lower)));
  let out = '0x';
  for (let i = 0; i < 40; i++) out += parseInt(hash[i], 16) >= 8 ? lower[i].toUpperCase() : lower[i];
  return out;
}

function slip10Ed25519(seedBytes, path) {
  let i = hmac(sha512, utf8ToBytes('ed25519 seed'), seedBytes);
  for (const index of path) {
    const data = new Uint8Array(37);
    data.set(i.slice(0, 32), 1);
    new DataView(data.buffer).setUint32(33, index);
    i = hmac(sha512, i.slice(32), data);
  }
  return i.slice(0, 32);
}

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
    // The public branch: from the account's public key only.
    btcPublic: segwit(HDKey.fromExtendedKey(account.publicExtendedKey).deriveChild(0).deriveChild(1).publicKey),
    eth: eip55(secp256k1.getPublicKey(eth.privateKey, false)),
    sol: base58.encode(ed25519.getPublicKey(sol)),
    btcDER: bytesToHex(secp256k1.sign(btcHash, btc.privateKey, { prehash: false, format: 'der' })),
    ethCompact: bytesToHex(recovered.slice(1)),
    ethRecoveryID: recovered[0],
    solSignature: bytesToHex(ed25519.sign(utf8ToBytes('Quillmark peer SOL'), sol)),
  };
}

const abandon = `${'abandon '.repeat(11)}about`;
const phrases = [abandon];
for (let n = 0; n < COUNT; n++) phrases.push(entropyToMnemonic(bytes(n % 2 ? 32 : 16), wordlist));

const run = spawnSync(driver, [], { input: phrases.join('\n') + '\n', encoding: 'utf8' });
if (run.status !== 0) {
  console.error(`driver failed (status ${run.status}): ${run.stderr}`);
  process.exit(1);
}
const answers = run.stdout.trim().split('\n').map((line) => JSON.parse(line));
let failures = 0;
const fail = (message) => {
  failures += 1;
  if (failures <= 10) console.error(message);
};
if (answers.length !== phrases.length) fail(`driver answered ${answers.length} of ${phrases.length}`);

// The script's own derivation must reproduce the published addresses of the abandon phrase.
const known = expected(abandon);
for (const [field, value] of [
  ['btc', 'bc1qcr8te4kr609gcawutmrza0j4xv80jy8z306fyu'],
  ['eth', '0x9858EfFD232B4033E47d90003D41EC34EcaEda94'],
  ['sol', 'HAgk14JpMQLgt6rVgv7cBQFJWFto5Dqxi472uT3DKpqk'],
]) {
  if (known[field] !== value) fail(`peer derivation broken: ${field} ${known[field]} != ${value}`);
}

let compared = 0;
phrases.forEach((phrase, n) => {
  const ours = answers[n];
  if (!ours) return;
  if (ours.error) {
    fail(`phrase ${n}: driver error ${ours.error}`);
    return;
  }
  const theirs = expected(phrase);
  for (const field of Object.keys(theirs)) {
    compared += 1;
    if (ours[field] !== theirs[field]) {
      fail(`MISMATCH phrase ${n} ${field}\n  ours:   ${ours[field]}\n  theirs: ${theirs[field]}`);
    }
  }
  // Our signatures also verify under the peer's keys (DER is strict and low-S).
  const btcKey = HDKey.fromMasterSeed(mnemonicToSeedSync(phrase, '')).derive("m/84'/0'/0'/0/0");
  const der = Uint8Array.from(Buffer.from(ours.btcDER, 'hex'));
  if (!secp256k1.verify(der, sha256(utf8ToBytes('Quillmark peer BTC')), btcKey.publicKey, { prehash: false, format: 'der' })) {
    fail(`phrase ${n}: our DER signature does not verify`);
  }
});

if (failures > 0) {
  console.error(`${failures} failure(s) over ${phrases.length} phrases; replay with QM_SEED=${seed}`);
  process.exit(1);
}
console.log(`keys peer: ${phrases.length} phrases, ${compared} values equal (QM_SEED=${seed})`);
