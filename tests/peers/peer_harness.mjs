// Shared by the peer checks: seeded cases, a driver answering one JSON line per request, SLIP-10.
import { spawn, spawnSync } from 'node:child_process';
import { createInterface } from 'node:readline';
import { hmac } from '@noble/hashes/hmac.js';
import { sha512 } from '@noble/hashes/sha2.js';
import { utf8ToBytes } from '@noble/hashes/utils.js';

// mulberry32.
export function seededRandom(seed) {
  let state = seed >>> 0;
  function random() {
    state = (state + 0x6d2b79f5) >>> 0;
    let t = state;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  }
  const int = (n) => Math.floor(random() * n);
  return {
    random,
    int,
    pick: (list) => list[int(list.length)],
    bytes: (n) => Uint8Array.from({ length: n }, () => int(256)),
  };
}

// The seed of this run: QM_SEED replays a failed one.
export const runSeed = () => Number(process.env.QM_SEED ?? Date.now() % 2 ** 31);

// Counts mismatches; verdict(seed) prints them and exits.
export function checker() {
  let failures = 0;
  return {
    expectEqual(actual, expected, what) {
      if (actual === expected) return;
      failures += 1;
      if (failures <= 10) console.error(`MISMATCH ${what}\n  ours:   ${actual}\n  theirs: ${expected}`);
    },
    verdict(done) {
      console.log(`${done}, ${failures} mismatches`);
      process.exit(failures === 0 ? 0 : 1);
    },
  };
}

// Random cases of this run's seed, and requests collected with a check for each reply; finish()
// runs the driver (argv[2]) once over all of them.
export function driverSession(driver = process.argv[2], seed = runSeed()) {
  const requests = [];
  const checks = [];
  const { expectEqual, verdict } = checker();
  return {
    ...seededRandom(seed),
    expectEqual,
    ask(request, check) {
      requests.push(request);
      checks.push(check);
    },
    finish() {
      const run = spawnSync(driver, [], {
        input: requests.map((r) => JSON.stringify(r)).join('\n') + '\n',
        maxBuffer: 256 * 1024 * 1024,
      });
      if (run.status !== 0) {
        console.error(`driver exited with ${run.status}: ${run.stderr}`);
        process.exit(1);
      }
      const replies = run.stdout.toString().trim().split('\n').map((line) => JSON.parse(line));
      expectEqual(replies.length, requests.length, 'number of replies');
      replies.forEach((reply, i) => {
        if (reply.error) expectEqual(reply.error, 'no error', `request ${i}`);
        else checks[i](reply);
      });
      verdict(`${requests.length} requests checked (seed ${seed})`);
    },
  };
}

// The driver (argv[2]) kept running: ask(request) resolves with its reply, the next line of its
// output that is a JSON object (other lines are its log). driver.stdin.end() lets it finish.
export function spawnDriver(path = process.argv[2]) {
  const driver = spawn(path, [], { stdio: ['pipe', 'pipe', 'inherit'] });
  const waiting = [];
  createInterface({ input: driver.stdout }).on('line', (line) => {
    if (line.startsWith('{')) waiting.shift()(JSON.parse(line));
  });
  const ask = (request) =>
    new Promise((resolve) => {
      waiting.push(resolve);
      driver.stdin.write(JSON.stringify(request) + '\n');
    });
  return { driver, ask };
}

// SLIP-10 Ed25519: the private key at `path` (hardened indices only) from a BIP-39 seed.
export function slip10Ed25519(seedBytes, path) {
  let i = hmac(sha512, utf8ToBytes('ed25519 seed'), seedBytes);
  for (const index of path) {
    const data = new Uint8Array(37);
    data.set(i.slice(0, 32), 1);
    new DataView(data.buffer).setUint32(33, index);
    i = hmac(sha512, i.slice(32), data);
  }
  return i.slice(0, 32);
}
