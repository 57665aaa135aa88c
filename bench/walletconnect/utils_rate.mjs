// The reference of bench_walletconnect: @walletconnect/utils sealing and opening type 0
// envelopes (encrypt/decrypt, Base64 text as on the relay). Prints one JSON line.
// Usage: node utils_rate.mjs <count> <bytes>
import { createRequire } from 'node:module';
import { randomBytes } from 'node:crypto';

const require = createRequire(new URL('../../tests/peers/package.json', import.meta.url));
const { encrypt, decrypt } = require('@walletconnect/utils');

const count = Number(process.argv[2] ?? 10000);
const size = Number(process.argv[3] ?? 1024);
const symKey = randomBytes(32).toString('hex');
const alphabet = 'abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789{}":,';
const message = Array.from(randomBytes(size), (b) => alphabet[b % alphabet.length]).join('');

function round() {
  const start = process.hrtime.bigint();
  const sealed = new Array(count);
  for (let i = 0; i < count; i++) sealed[i] = encrypt({ symKey, message });
  const middle = process.hrtime.bigint();
  for (let i = 0; i < count; i++) {
    if (decrypt({ symKey, encoded: sealed[i] }).length !== size) throw new Error('opened wrong');
  }
  const end = process.hrtime.bigint();
  return { seal: Number(middle - start) / 1e9, open: Number(end - middle) / 1e9 };
}

round(); // warm-up: the JIT compiles the library's cipher
let best = { seal: Infinity, open: Infinity };
for (let r = 0; r < 5; r++) {
  const t = round();
  best = { seal: Math.min(best.seal, t.seal), open: Math.min(best.open, t.open) };
}
console.log(JSON.stringify({ count, size, sealSeconds: best.seal, openSeconds: best.open, node: process.version }));
