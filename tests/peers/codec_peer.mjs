// Our Base58, segwit address and BIP-39 code against @scure/base, @scure/bip39 and
// @noble/hashes for random and corrupted inputs; our 256-bit arithmetic and exact amount texts
// against JavaScript's BigInt. Usage: node codec_peer.mjs <codec_driver>.
import { base58, bech32, bech32m } from '@scure/base';
import { entropyToMnemonic, validateMnemonic } from '@scure/bip39';
import { wordlist } from '@scure/bip39/wordlists/english.js';
import { pbkdf2 } from '@noble/hashes/pbkdf2.js';
import { sha512 } from '@noble/hashes/sha2.js';
import { bytesToHex, utf8ToBytes } from '@noble/hashes/utils.js';
import { driverSession } from './peer_harness.mjs';

const { int, pick, bytes, ask, expectEqual, finish } = driverSession();
const asciiLower = (text) => text.replace(/[A-Z]/g, (c) => c.toLowerCase());
const decodedOrAbsent = (reply) => (reply.absent ? 'absent' : reply.hex);
const segwitReply = (r) => (r.absent ? 'absent' : `${r.hrp} ${r.version} ${r.hex}`);

const BASE58 = '123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz';
for (let i = 0; i < 400; i++) {
  const value = new Uint8Array([...new Uint8Array(int(4) === 0 ? int(5) : 0), ...bytes(int(70))]);
  const text = base58.encode(value);
  ask({ op: 'b58enc', hex: bytesToHex(value) }, (r) => expectEqual(r.text, text, `base58 encode ${bytesToHex(value)}`));
  ask({ op: 'b58dec', text }, (r) => expectEqual(decodedOrAbsent(r), bytesToHex(value), `base58 decode ${text}`));
}
const junk = ['0', 'O', 'I', 'l', ' ', '+', '/', '=', 'é', '\n', '\u0000', '\u200b'];
for (let i = 0; i < 300; i++) {
  let text = Array.from({ length: int(50) }, () => (int(12) === 0 ? pick(junk) : BASE58[int(58)])).join('');
  if (int(3) === 0) text = '1'.repeat(int(6)) + text;
  let expected = 'absent';
  try { expected = bytesToHex(base58.decode(text)); } catch { /* invalid */ }
  ask({ op: 'b58dec', text }, (r) => expectEqual(decodedOrAbsent(r), expected, `base58 decode ${JSON.stringify(text)}`));
}

const CHARSET = 'qpzry9x8gf2tvdw0s3jn54khce6mua7l';
// Their decoding plus our rules: checksum by version, strict padding, 2..40-byte programs
// (20 or 32 for version 0); hrp and version are returned, not judged.
function expectedSegwit(text) {
  const lower = asciiLower(text);
  for (const codec of [bech32, bech32m]) {
    let decoded;
    try { decoded = codec.decode(lower, false); } catch { continue; }
    const [version, ...groups] = decoded.words;
    if (version === undefined || (version === 0) !== (codec === bech32)) continue;
    let program;
    try { program = codec.fromWords(groups); } catch { return 'absent'; }
    if (program.length < 2 || program.length > 40) return 'absent';
    if (version === 0 && program.length !== 20 && program.length !== 32) return 'absent';
    return `${decoded.prefix} ${version} ${bytesToHex(program)}`;
  }
  return 'absent';
}
function randomHrp() {
  if (int(2) === 0) return pick(['bc', 'tb', 'bcrt']);
  return Array.from({ length: 1 + int(12) }, () => {
    const c = String.fromCharCode(33 + int(94));
    return /[A-Z]/.test(c) ? 'x' : c;
  }).join('');
}
function corrupt(text) {
  const chars = [...text];
  const at = int(chars.length);
  switch (int(6)) {
    case 0: chars[at] = CHARSET[int(32)]; break;
    case 1: chars.splice(at, 1); break;
    case 2: chars.splice(at, 0, CHARSET[int(32)]); break;
    case 3: chars[at] = chars[at].toUpperCase(); break; // mixed case stays valid for us
    case 4: [chars[at], chars[(at + 1) % chars.length]] = [chars[(at + 1) % chars.length], chars[at]]; break;
    default: return text.toUpperCase();
  }
  return chars.join('');
}
for (let i = 0; i < 400; i++) {
  const version = int(4) === 0 ? int(17) : int(2);
  const length = version === 0 ? pick([20, 32]) : pick([2, 20, 32, 40, 2 + int(39)]);
  const program = bytes(length);
  const hrp = randomHrp();
  const words = [version, ...bech32.toWords(program)];
  const address = (version === 0 ? bech32 : bech32m).encode(hrp, words, false);
  ask({ op: 'segenc', hrp, version, hex: bytesToHex(program) },
      (r) => expectEqual(r.address, address, `segwit encode ${hrp} ${version} ${bytesToHex(program)}`));
  ask({ op: 'segdec', text: address }, (r) => expectEqual(segwitReply(r), `${hrp} ${version} ${bytesToHex(program)}`, `segwit decode ${address}`));
  for (let k = 0; k < 3; k++) {
    const bad = corrupt(address);
    const expected = expectedSegwit(bad);
    ask({ op: 'segdec', text: bad }, (r) => expectEqual(segwitReply(r), expected, `segwit decode ${bad}`));
  }
}
for (let i = 0; i < 100; i++) {
  const words = Array.from({ length: 1 + int(70) }, () => int(32));
  const text = (int(2) ? bech32 : bech32m).encode('bc', words, false);
  const expected = expectedSegwit(text);
  ask({ op: 'segdec', text }, (r) => expectEqual(segwitReply(r), expected, `segwit decode ${text}`));
}

const seedOf = (words, passphrase) =>
  bytesToHex(pbkdf2(sha512, utf8ToBytes(words.join(' ')), utf8ToBytes('mnemonic' + passphrase), { c: 2048, dkLen: 64 }));
const expectedValid = (words) =>
  (words.length === 12 || words.length === 24) && validateMnemonic(words.map(asciiLower).join(' '), wordlist);
const passphrases = ['', 'TREZOR', 'correct horse', 'pässwörd', '🔑 key'];
for (let i = 0; i < 150; i++) {
  const entropy = bytes(pick([16, 32, 16, 32, 20, 24, 28]));
  const phrase = entropyToMnemonic(entropy, wordlist).split(' ');
  ask({ op: 'mnemonic', hex: bytesToHex(entropy) }, (r) => expectEqual(r.words.join(' '), phrase.join(' '), `mnemonic ${bytesToHex(entropy)}`));
  ask({ op: 'valid', words: phrase }, (r) => expectEqual(r.valid, expectedValid(phrase), `valid ${phrase.join(' ')}`));

  const changed = [...phrase];
  switch (int(4)) {
    case 0: changed[int(changed.length)] = pick(wordlist); break;
    case 1: changed[int(changed.length)] = pick(wordlist).toUpperCase(); break;
    case 2: { const at = int(changed.length); changed[at] = changed[at][0].toUpperCase() + changed[at].slice(1); break; }
    default: changed[int(changed.length)] = pick(['bitcoin', 'zoos', 'abandonn', 'aban', 'é']);
  }
  ask({ op: 'valid', words: changed }, (r) => expectEqual(r.valid, expectedValid(changed), `valid ${changed.join(' ')}`));

  if (i < 40) {
    const passphrase = pick(passphrases);
    const words = int(2) ? phrase : changed; // the seed never validates or normalises
    ask({ op: 'seed', words, passphrase }, (r) => expectEqual(r.hex, seedOf(words, passphrase), `seed of ${words.join(' ')}`));
  }
}

// Checked 256-bit arithmetic: operands of every size, around the edges of the range.
const MAX = (1n << 256n) - 1n;
function operand() {
  switch (int(6)) {
    case 0: return BigInt(int(3));
    case 1: return MAX - BigInt(int(3));
    case 2: return 1n << BigInt(int(257));
    default: {
      const width = 1 + int(256);
      let value = 0n;
      for (let i = 0; i < width; i += 16) value = (value << 16n) | BigInt(int(65536));
      return value & ((1n << BigInt(width)) - 1n);
    }
  }
}
const inRange = (value) => (value >= 0n && value <= MAX ? value.toString() : null);
for (let i = 0; i < 600; i++) {
  const [a, b, c] = [operand() & MAX, operand() & MAX, operand() & MAX];
  ask({ op: 'u256', a: a.toString(), b: b.toString(), c: c.toString() }, (r) => {
    const what = `${a} ${b} ${c}`;
    expectEqual(r.add, inRange(a + b), `add ${what}`);
    expectEqual(r.sub, inRange(a - b), `sub ${what}`);
    expectEqual(r.mul, inRange(a * b), `mul ${what}`);
    expectEqual(r.muldiv, c === 0n ? null : inRange((a * b) / c), `muldiv ${what}`);
    expectEqual(r.div, b === 0n ? null : (a / b).toString(), `div ${what}`);
    expectEqual(r.rem, b === 0n ? null : (a % b).toString(), `rem ${what}`);
  });
}

// Exact amount texts: every digit, and "%.Nf"-style rounding half up from the exact value.
function decimalText(value, decimals, digits) {
  const unit = 10n ** BigInt(decimals);
  let scaled = value * 10n ** BigInt(digits);
  let [whole, rest] = [scaled / unit, scaled % unit];
  if (rest * 2n >= unit) whole += 1n;
  const text = whole.toString().padStart(digits + 1, '0');
  return digits === 0 ? text : `${text.slice(0, -digits)}.${text.slice(-digits)}`;
}
for (let i = 0; i < 300; i++) {
  const decimals = pick([0, 2, 6, 8, 9, 18, int(40)]);
  const value = operand() & MAX;
  const digits = pick([0, 2, 4, 6, 8, 9, 18, int(30)]);
  const unit = 10n ** BigInt(decimals);
  const fraction = (value % unit).toString().padStart(decimals, '0').replace(/0+$/, '');
  const exact = `${value / unit}${fraction ? `.${fraction}` : ''}`;
  ask({ op: 'amount', value: value.toString(), decimals, digits }, (r) => {
    expectEqual(r.exact, exact, `exact ${value} / 10^${decimals}`);
    expectEqual(r.fixed, decimalText(value, decimals, digits), `fixed ${value} / 10^${decimals} to ${digits}`);
  });
}
finish();
