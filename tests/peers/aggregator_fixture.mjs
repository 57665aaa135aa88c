// A loopback stand-in of the Solana swap aggregator's REST API over a litesvm runtime. An order
// builds a real unsigned transaction for the taker with @solana/web3.js (legacy, or versioned
// with an address lookup table), already signed by the pool, which pays out; execute checks
// that only the taker's signature slot changed, verifies every signature and runs the
// transaction in litesvm (through the JSON-RPC server of solana_rpc_server.mjs, whose URL the
// wallet reads balances and signature statuses from).
//
// Usage: node aggregator_fixture.mjs API_KEY. Prints one JSON line {aggregator, rpc, mint, pool}
// and serves until stdin closes. Test control on the aggregator's origin:
//   POST /fixture/script {order: [case...], execute: [case...], nodeWithout: [method...], age,
//     unknownBlockhashes}: the next answers' cases, in order; the JSON-RPC methods the node
//     answers as unknown until the next script; `age` blocks passed at once (blockhashes seen
//     before expire); whether the node says no blockhash is valid until the next script
//   GET  /fixture/requests: every request to the API so far ({method, path, query, apiKey, body})
//   POST /fixture/airdrop {owner, lamports}: lamports to an account
// Order cases: legacy (default), versioned, 429, 500, outAmountNumber, nullTransaction,
// zeroSlots, foreignSigner, otherInAmount, noThreshold, lineBreak (a line break in the
// transaction's Base64); transactions that do more than the order (legacy unless named):
// drainSol (also moves 99 SOL of the taker to another account), drainToken (takes the input
// token twice), takeOutput (versioned: takes back the output token and 1 more, its account
// named only in the lookup table), approve (lets another account spend the taker's USDC),
// assign (gives the taker's account to another program),
// poolShort (the pool pays more than it holds: fails), feeHigh (a priority fee of 0.02 SOL);
// and honest ones: priorityFee (0.00001 SOL of priority fee), createsAccount (pays into the
// taker's associated USDC account, which the taker creates when missing). Execute cases: run (default), 429, 500, failedWithError,
// failedWithoutError, noStatus, noSignature, pending, notLanded, expired (not landed, while 100
// blocks pass at every look at the height until the next script), landedFailed (the cluster reports it failed), runThenDrop
// (runs it, then closes the connection before answering: an HTTP client may send it again),
// runThenCut (runs it, then closes the connection in the middle of the answer), runThen504 (runs
// it, then a gateway's 504 page), runThenUnreadable (runs it, then a page that is no answer),
// runThenRefuse (runs it, then answers Failed), otherSignature (runs it, then answers Success
// naming another transaction's signature).
import http from 'node:http';
import { randomUUID } from 'node:crypto';
import web3 from '@solana/web3.js';
import { ed25519 } from '@noble/curves/ed25519.js';
import { base58 } from '@scure/base';
import { address, lamports } from '@solana/kit';
import { startSolanaRpcServer, TOKEN_PROGRAM } from './solana_rpc_server.mjs';

const apiKey = process.argv[2] ?? '';
const WSOL = 'So11111111111111111111111111111111111111112';
const USDC = 'EPjFWdd5AufqSSqeM2qN1xzybapC8G4wEGGkZwyTDt1v';
const LOOKUP_PROGRAM = 'AddressLookupTab1e1111111111111111111111111';
const tokenProgram = new web3.PublicKey(TOKEN_PROGRAM);
const associatedTokenProgram = new web3.PublicKey('ATokenGPvbdGVxr1b2hvZbsiqW5xWH25efTNsLJA8knL');
const usdcMint = new web3.PublicKey(USDC);
// Where the drained amounts go.
const thief = web3.Keypair.fromSeed(Uint8Array.from({ length: 32 }, (_, i) => 200 + i)).publicKey;

const node = await startSolanaRpcServer();
const { svm } = node;
// Lookup-table addresses extended at slot 0 are usable from slot 1 on.
svm.warpToSlot(10n);

const pool = web3.Keypair.fromSeed(Uint8Array.from({ length: 32 }, (_, i) => i + 1));
const poolTokens = web3.Keypair.fromSeed(Uint8Array.from({ length: 32 }, (_, i) => 100 + i)).publicKey;
svm.airdrop(address(pool.publicKey.toBase58()), lamports(1_000_000_000_000n));
node.addTokenAccount(poolTokens.toBase58(), USDC, pool.publicKey.toBase58(), 10n ** 15n, 6);

// A taker's USDC account, made empty on its first order.
const takerTokens = new Map();
function tokenAccountOf(taker) {
  if (!takerTokens.has(taker)) {
    const account = web3.Keypair.generate().publicKey;
    node.addTokenAccount(account.toBase58(), USDC, taker, 0n, 6);
    takerTokens.set(taker, account);
  }
  return takerTokens.get(taker);
}

// 1 SOL = 150 USDC.
const quoteOut = (input, amount) => (input === WSOL ? (amount * 150n) / 1000n : (amount * 1000n) / 150n);

// Transfer (3) from `source` to `target`, or Approve (4): `target` may spend from `source`;
// both of `amount`, signed by the owner of `source`.
function tokenInstruction(tag, source, target, owner, amount) {
  const data = Buffer.alloc(9);
  data[0] = tag;
  data.writeBigUInt64LE(amount, 1);
  return new web3.TransactionInstruction({
    programId: tokenProgram,
    keys: [
      { pubkey: source, isSigner: false, isWritable: true },
      { pubkey: target, isSigner: false, isWritable: tag === 3 },
      { pubkey: owner, isSigner: true, isWritable: false },
    ],
    data,
  });
}
const tokenTransfer = (...args) => tokenInstruction(3, ...args);
const tokenApprove = (...args) => tokenInstruction(4, ...args);

const associatedAccount = (owner) => web3.PublicKey.findProgramAddressSync(
  [owner.toBytes(), tokenProgram.toBytes(), usdcMint.toBytes()], associatedTokenProgram)[0];

// CreateIdempotent (1): the associated USDC account of `owner`, paid by `owner`.
const createAssociated = (owner) => new web3.TransactionInstruction({
  programId: associatedTokenProgram,
  keys: [
    { pubkey: owner, isSigner: true, isWritable: true },
    { pubkey: associatedAccount(owner), isSigner: false, isWritable: true },
    { pubkey: owner, isSigner: false, isWritable: false },
    { pubkey: usdcMint, isSigner: false, isWritable: false },
    { pubkey: web3.SystemProgram.programId, isSigner: false, isWritable: false },
    { pubkey: tokenProgram, isSigner: false, isWritable: false },
  ],
  data: Buffer.from([1]),
});

// The compute-budget instructions of a priority fee: `price` micro-lamports for 200,000 units.
const priority = (price) => [
  web3.ComputeBudgetProgram.setComputeUnitLimit({ units: 200_000 }),
  web3.ComputeBudgetProgram.setComputeUnitPrice({ microLamports: price }),
];

// A lookup table of the two token accounts, written straight into the runtime.
function lookupTable(addresses) {
  const key = web3.Keypair.generate().publicKey;
  const data = Buffer.alloc(56 + 32 * addresses.length);
  data.writeUInt32LE(1, 0); // LookupTable
  data.writeBigUInt64LE(2n ** 64n - 1n, 4); // never deactivated
  data.writeBigUInt64LE(0n, 12); // last extended at slot 0
  data[20] = 0;
  data[21] = 1; // an authority follows
  data.set(pool.publicKey.toBytes(), 22);
  addresses.forEach((a, i) => data.set(a.toBytes(), 56 + 32 * i));
  svm.setAccount({
    address: address(key.toBase58()),
    programAddress: address(LOOKUP_PROGRAM),
    executable: false,
    lamports: svm.minimumBalanceForRentExemption(BigInt(data.length)),
    space: BigInt(data.length),
    data: new Uint8Array(data),
  });
  return new web3.AddressLookupTableAccount({
    key,
    state: { deactivationSlot: 2n ** 64n - 1n, lastExtendedSlot: 0, lastExtendedSlotStartIndex: 0, authority: pool.publicKey, addresses },
  });
}

function buildTransaction(kind, taker, input, amount, out) {
  const takerKey = new web3.PublicKey(taker);
  const takerTokens = tokenAccountOf(taker);
  const receiving = kind === 'createsAccount' ? associatedAccount(takerKey) : takerTokens;
  const paid = kind === 'poolShort' ? 10n ** 16n : out;
  const instructions = input === WSOL
    ? [web3.SystemProgram.transfer({ fromPubkey: takerKey, toPubkey: pool.publicKey, lamports: amount }),
      tokenTransfer(poolTokens, receiving, pool.publicKey, paid)]
    : [tokenTransfer(takerTokens, poolTokens, takerKey, amount),
      web3.SystemProgram.transfer({ fromPubkey: pool.publicKey, toPubkey: takerKey, lamports: out })];
  const extra = {
    drainSol: () => [web3.SystemProgram.transfer({ fromPubkey: takerKey, toPubkey: thief, lamports: 99_000_000_000n })],
    drainToken: () => [tokenTransfer(takerTokens, poolTokens, takerKey, amount)],
    takeOutput: () => [tokenTransfer(takerTokens, poolTokens, takerKey, out + 1_000_000n)],
    approve: () => [tokenApprove(takerTokens, thief, takerKey, 2n ** 64n - 1n)],
    assign: () => [web3.SystemProgram.assign({ accountPubkey: takerKey, programId: thief })],
  }[kind];
  if (extra) instructions.push(...extra());
  if (kind === 'createsAccount') instructions.unshift(createAssociated(takerKey));
  if (kind === 'priorityFee') instructions.unshift(...priority(50_000));
  if (kind === 'feeHigh') instructions.unshift(...priority(100_000_000));
  // A foreign first signer: the pool pays the fee and signs first.
  const payer = kind === 'foreignSigner' ? pool.publicKey : takerKey;
  const recentBlockhash = svm.latestBlockhash();
  if (kind === 'versioned' || kind === 'takeOutput') {
    const message = new web3.TransactionMessage({ payerKey: payer, recentBlockhash, instructions })
      .compileToV0Message([lookupTable([poolTokens, takerTokens])]);
    const transaction = new web3.VersionedTransaction(message);
    transaction.sign([pool]);
    return Buffer.from(transaction.serialize());
  }
  const transaction = new web3.Transaction({ feePayer: payer, recentBlockhash }).add(...instructions);
  transaction.partialSign(pool);
  const wire = transaction.serialize({ requireAllSignatures: false, verifySignatures: false });
  if (kind === 'zeroSlots') return Buffer.concat([Buffer.from([0]), transaction.serializeMessage()]);
  return wire;
}

const script = { order: [], execute: [] };
const requests = [];
const orders = new Map(); // requestId -> {wire, taker, input, output, amount, out}

function order(query) {
  const kase = script.order.shift() ?? 'legacy';
  if (kase === '429') return [429, 'Too Many Requests', 'text/plain'];
  if (kase === '500') return [500, { error: 'internal error' }];
  const { inputMint, outputMint, taker } = query;
  if (!/^\d+$/.test(query.amount ?? '')) return [400, { error: 'amount' }];
  const amount = BigInt(query.amount);
  const pair = `${inputMint}>${outputMint}`;
  if (pair !== `${WSOL}>${USDC}` && pair !== `${USDC}>${WSOL}`) return [400, { error: 'no route' }];
  const out = quoteOut(inputMint, amount);
  const wire = buildTransaction(kase, taker, inputMint, amount, out);
  const requestId = randomUUID();
  orders.set(requestId, { wire, taker, input: inputMint, amount, out });
  const answer = {
    mode: 'ultra', swapMode: 'ExactIn', inputMint, outputMint, inAmount: String(amount), outAmount: String(out),
    otherAmountThreshold: String((out * 9950n) / 10000n), slippageBps: 50, priceImpactPct: '0.0123',
    routePlan: [{ swapInfo: { label: 'Fixture pool' }, percent: 100 }], feeBps: 0,
    transaction: wire.toString('base64'), requestId, taker, gasless: false,
  };
  if (kase === 'outAmountNumber') answer.outAmount = Number(out);
  if (kase === 'nullTransaction') answer.transaction = null;
  if (kase === 'otherInAmount') answer.inAmount = String(amount + 1n);
  if (kase === 'noThreshold') delete answer.otherAmountThreshold;
  if (kase === 'lineBreak') answer.transaction = `${answer.transaction.slice(0, 40)}\n${answer.transaction.slice(40)}`;
  return [200, answer];
}

function verifies(wire) {
  const transaction = web3.VersionedTransaction.deserialize(wire);
  const message = transaction.message.serialize();
  const keys = transaction.message.staticAccountKeys;
  if (!(transaction.message instanceof web3.MessageV0)) return web3.Transaction.from(wire).verifySignatures(true);
  return transaction.signatures.every((signature, i) => ed25519.verify(signature, message, keys[i].toBytes()));
}

function execute(body) {
  const kase = script.execute.shift() ?? 'run';
  if (kase === '429') return [429, '', 'text/plain'];
  if (kase === '500') return [500, { error: 'internal error' }];
  if (kase === 'failedWithError') return [200, { status: 'Failed', error: 'Slippage tolerance exceeded', code: -1 }];
  if (kase === 'failedWithoutError') return [200, { status: 'Failed', code: -1 }];
  if (kase === 'noStatus') return [200, { signature: '1111' }];
  if (kase === 'noSignature') return [200, { status: 'Success' }];
  const placed = orders.get(body.requestId);
  if (!placed) return [200, { status: 'Failed', error: 'Unknown request', code: -2 }];
  const wire = Buffer.from(String(body.signedTransaction), 'base64');
  // Nothing but the taker's slot may differ from what the order carried.
  const altered = wire.length !== placed.wire.length ||
    wire.some((byte, i) => (i < 1 || i > 64) && byte !== placed.wire[i]);
  if (altered) return [200, { status: 'Failed', error: 'Transaction altered', code: -3 }];
  if (!verifies(wire)) return [200, { status: 'Failed', error: 'Invalid signature', code: -4 }];
  const signature = web3.VersionedTransaction.deserialize(wire).signatures[0];
  const text = base58.encode(signature);
  if (kase === 'pending') return [200, { status: 'Pending', signature: text }];
  if (kase === 'notLanded') return [200, { status: 'Success', signature: text, code: 0 }];
  if (kase === 'expired') {
    node.setAging(100);
    return [200, { status: 'Success', signature: text, code: 0 }];
  }
  if (kase === 'landedFailed') {
    node.recordFailure(text, { InstructionError: [1, { Custom: 1 }] });
    return [200, { status: 'Success', signature: text, code: 0 }];
  }
  try {
    const landed = node.call('sendTransaction', [wire.toString('base64'), { encoding: 'base64' }]);
    orders.delete(body.requestId);
    if (kase === 'runThenDrop' || kase === 'runThenCut') return [kase];
    if (kase === 'runThen504') return [504, '<html>504 Gateway Time-out</html>', 'text/html'];
    if (kase === 'runThenUnreadable') return [200, '<html>upstream</html>', 'text/html'];
    if (kase === 'runThenRefuse') return [200, { status: 'Failed', error: 'Transaction not confirmed', code: -1 }];
    if (kase === 'otherSignature') return [200, { status: 'Success', signature: base58.encode(new Uint8Array(64).fill(7)), code: 0 }];
    return [200, { status: 'Success', signature: landed, code: 0, inputAmountResult: String(placed.amount), outputAmountResult: String(placed.out) }];
  } catch (error) {
    return [200, { status: 'Failed', signature: text, error: String(error?.message ?? error), code: -1 }];
  }
}

const server = http.createServer((request, response) => {
  let body = '';
  request.on('data', (chunk) => (body += chunk));
  request.on('end', () => {
    const url = new URL(request.url, 'http://127.0.0.1');
    const reply = (status, value, type = 'application/json') => {
      response.writeHead(status, { 'Content-Type': type });
      response.end(typeof value === 'string' ? value : JSON.stringify(value));
    };
    try {
      if (url.pathname === '/fixture/script') {
        Object.assign(script, { order: [], execute: [], nodeWithout: [], age: 0, unknownBlockhashes: false }, JSON.parse(body));
        node.setAging(0);
        node.advance(script.age ?? 0);
        node.setMissing(script.nodeWithout);
        node.setUnknownBlockhashes(Boolean(script.unknownBlockhashes));
        return reply(200, {});
      }
      if (url.pathname === '/fixture/requests') return reply(200, requests);
      if (url.pathname === '/fixture/airdrop') {
        const { owner, lamports: amount } = JSON.parse(body);
        svm.airdrop(address(owner), lamports(BigInt(amount)));
        return reply(200, {});
      }
      const query = Object.fromEntries(url.searchParams);
      requests.push({ method: request.method, path: url.pathname, query, rawQuery: url.search, apiKey: request.headers['x-api-key'] ?? null, body });
      if (request.headers['x-api-key'] !== apiKey) return reply(401, { error: 'Unauthorized' });
      if (request.method === 'GET' && url.pathname === '/ultra/v1/order') return reply(...order(query));
      if (request.method === 'POST' && url.pathname === '/ultra/v1/execute') {
        const answer = execute(JSON.parse(body));
        if (answer[0] === 'runThenDrop') return request.socket.destroy();
        if (answer[0] === 'runThenCut') {
          response.writeHead(200, { 'Content-Type': 'application/json', 'Content-Length': '200' });
          response.write('{"status":"Succ');
          return setTimeout(() => request.socket.destroy(), 50);
        }
        return reply(...answer);
      }
      return reply(404, { error: 'not found' });
    } catch (error) {
      return reply(500, { error: String(error?.stack ?? error) });
    }
  });
});
server.listen(0, '127.0.0.1', () => {
  process.stdout.write(`${JSON.stringify({
    aggregator: `http://127.0.0.1:${server.address().port}`, rpc: node.url, mint: USDC, pool: pool.publicKey.toBase58(),
  })}\n`);
});
process.stdin.resume();
process.stdin.on('end', async () => {
  server.close();
  await node.close();
  process.exit(0);
});
