// For the refresh tests: node refresh_solana_server.mjs OWNER LAMPORTS [MINT ACCOUNT AMOUNT
// DECIMALS]... prints the URL of a litesvm server with those accounts; stops when stdin closes.
import { address } from '@solana/kit';
import { startSolanaRpcServer } from './solana_rpc_server.mjs';

const [owner, lamports, ...holdings] = process.argv.slice(2);
const server = await startSolanaRpcServer();
server.svm.airdrop(address(owner), BigInt(lamports));
for (let i = 0; i + 3 < holdings.length; i += 4) {
  const [mint, account, amount, decimals] = holdings.slice(i, i + 4);
  server.addTokenAccount(account, mint, owner, BigInt(amount), Number(decimals));
}
process.stdout.write(`${server.url}\n`);
process.stdin.resume();
process.stdin.on('end', async () => {
  await server.close();
  process.exit(0);
});
