// Our Solana transfer message against @solana/web3.js, and our client and signed transfers
// against litesvm behind solana_rpc_server.mjs. Usage: node solana_peer.mjs <solana_driver>.
import web3 from '@solana/web3.js';
import bs58 from 'bs58';
import { address, lamports } from '@solana/kit';
import { seededRandom, runSeed, checker, spawnDriver } from './peer_harness.mjs';
import { startSolanaRpcServer } from './solana_rpc_server.mjs';

const seed = runSeed();
const { int, pick, bytes } = seededRandom(seed);
const { expectEqual, verdict } = checker();
const { driver, ask } = spawnDriver();

const hex = (u8) => Buffer.from(u8).toString('hex');
const keyOf = (seedBytes) => web3.Keypair.fromSeed(seedBytes);

for (let i = 0; i < 200; i++) {
  const from = keyOf(bytes(32)).publicKey;
  const to = keyOf(bytes(32)).publicKey;
  const amount = pick([0n, 1n, 127n, 1_000_000_000n, 2n ** 32n, 2n ** 64n - 1n, BigInt(int(2 ** 31))]);
  const blockhash = new web3.PublicKey(bytes(32)).toBase58();
  const transaction = new web3.Transaction({ feePayer: from, recentBlockhash: blockhash }).add(
    web3.SystemProgram.transfer({ fromPubkey: from, toPubkey: to, lamports: amount }),
  );
  const reply = await ask({
    op: 'message', from: hex(from.toBytes()), to: hex(to.toBytes()), lamports: amount.toString(), blockhash,
  });
  expectEqual(reply.message, hex(transaction.compileMessage().serialize()), `message ${i}`);
}

const node = await startSolanaRpcServer();
const senderSeed = bytes(32);
const sender = keyOf(senderSeed);
const recipient = keyOf(bytes(32)).publicKey;
const fund = 5_000_000_000n;
node.svm.airdrop(address(sender.publicKey.toBase58()), lamports(fund));

const balanceOf = async (key) => BigInt((await ask({ op: 'balance', url: node.url, address: key })).lamports);
expectEqual(await balanceOf(sender.publicKey.toBase58()), fund, 'funded balance read by our client');

const amount = 1_000_000n + BigInt(int(1_000_000_000));
const sent = await ask({
  op: 'transfer', url: node.url, secret: hex(senderSeed), to: recipient.toBase58(), lamports: amount.toString(),
});
expectEqual(sent.error, undefined, 'transfer accepted by the runtime');
const fee = 5000n; // one signature at the default lamports per signature
expectEqual(node.svm.getBalance(address(sender.publicKey.toBase58())), fund - amount - fee, 'sender after transfer');
expectEqual(node.svm.getBalance(address(recipient.toBase58())), amount, 'recipient after transfer');
expectEqual(await balanceOf(recipient.toBase58()), amount, 'recipient read by our client');
if (sent.wire) {
  const parsed = web3.Transaction.from(Buffer.from(sent.wire, 'base64'));
  expectEqual(parsed.verifySignatures(), true, 'web3.js verifies our signature');
  expectEqual(parsed.signature && bs58.encode(parsed.signature), sent.signature, 'signature returned by the node is ours');
}
// After the blockhash expires, the next transfer fetches a fresh one.
node.svm.expireBlockhash();
const replayed = await ask({
  op: 'transfer', url: node.url, secret: hex(senderSeed), to: recipient.toBase58(), lamports: amount.toString(),
});
expectEqual(replayed.error, undefined, 'a fresh blockhash is fetched for every transfer');

const history = await ask({ op: 'signatures', url: node.url, address: sender.publicKey.toBase58(), limit: 20 });
expectEqual(history.signatures?.length, 2, 'signature count');
expectEqual(history.signatures?.[0]?.signature, replayed.signature, 'newest signature first');
expectEqual(history.signatures?.[1]?.signature, sent.signature, 'older signature second');
const limited = await ask({ op: 'signatures', url: node.url, address: sender.publicKey.toBase58(), limit: 1 });
const unknown = bs58.encode(bytes(64));
const statuses = await ask({ op: 'statuses', url: node.url, signatures: [sent.signature, unknown] });
expectEqual(JSON.stringify(statuses.statuses), JSON.stringify([{ confirmation: 'finalized', failed: false, slot: 2 }, null]), 'signature statuses');
expectEqual(statuses.contextSlot, 3, 'the slot the statuses speak for');
expectEqual(JSON.stringify(statuses.epoch), JSON.stringify({ height: 3, slot: 3 }), 'block height after two transfers, and its slot');
const latestHash = node.svm.latestBlockhash();
const valid = await ask({ op: 'blockhashValid', url: node.url, blockhash: latestHash });
expectEqual(JSON.stringify(valid), JSON.stringify({ contextSlot: 3, valid: true }), 'the latest blockhash is valid');
const unknownHash = await ask({ op: 'blockhashValid', url: node.url, blockhash: new web3.PublicKey(bytes(32)).toBase58() });
expectEqual(unknownHash.valid, false, 'an unknown blockhash is not');
// 150 blocks on it is still valid, one more and it is not.
node.advance(150);
expectEqual((await ask({ op: 'blockhashValid', url: node.url, blockhash: latestHash })).valid, true, 'valid 150 blocks on');
node.advance(1);
const expiredHash = await ask({ op: 'blockhashValid', url: node.url, blockhash: latestHash });
expectEqual(JSON.stringify(expiredHash), JSON.stringify({ contextSlot: 154, valid: false }), 'expired 151 blocks on');
expectEqual(limited.signatures?.length, 1, 'limit passed to the node');

const owner = recipient.toBase58();
const usdc = 'EPjFWdd5AufqSSqeM2qN1xzybapC8G4wEGGkZwyTDt1v';
const otherMint = keyOf(bytes(32)).publicKey.toBase58();
const accountA = keyOf(bytes(32)).publicKey.toBase58();
const accountB = keyOf(bytes(32)).publicKey.toBase58();
node.addTokenAccount(accountA, usdc, owner, 1_500_000n, 6);
node.addTokenAccount(accountB, otherMint, owner, 0n, 9);
node.addTokenAccount(keyOf(bytes(32)).publicKey.toBase58(), usdc, sender.publicKey.toBase58(), 7n, 6);
const tokens = await ask({ op: 'tokens', url: node.url, owner });
const summary = (tokens.accounts ?? []).map((a) => `${a.pubkey} ${a.mint} ${a.amount} ${a.decimals} ${a.uiAmount}`).sort();
expectEqual(summary.join('\n'), [`${accountA} ${usdc} 1500000 6 1.5`, `${accountB} ${otherMint} 0 9 0`].sort().join('\n'), 'token accounts');

await node.close();
const shortHash = await startSolanaRpcServer({ blockhashOverride: new web3.PublicKey(bytes(32)).toBase58().slice(0, 20) });
shortHash.svm.airdrop(address(sender.publicKey.toBase58()), lamports(fund));
const refused = await ask({
  op: 'transfer', url: shortHash.url, secret: hex(senderSeed), to: recipient.toBase58(), lamports: '1000000',
});
expectEqual(refused.error?.startsWith('SolanaRPCClient: decoding error'), true, 'short blockhash refused');
expectEqual(shortHash.requests.some((r) => r.method === 'sendTransaction'), false, 'nothing sent');
await shortHash.close();

driver.stdin.end();
verdict(`solana peer checks done (seed ${seed})`);
