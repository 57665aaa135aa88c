// For the refresh tests: node refresh_solana_server.mjs OWNER LAMPORTS [MINT ACCOUNT AMOUNT
// DECIMALS]... prints the URL of a litesvm server with those accounts; stops when stdin closes.
// Each line on stdin, "advance N" (N blocks pass at once) or "aging N" (N blocks pass at every
// look at the height from now on), is done before the line "ok" is printed.
import { createInterface } from 'node:readline';
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
const lines = createInterface({ input: process.stdin });
lines.on('line', (line) => {
  const [command, count] = line.trim().split(/\s+/);
  if (command === 'advance') server.advance(Number(count));
  if (command === 'aging') server.setAging(Number(count));
  process.stdout.write('ok\n');
});
lines.on('close', async () => {
  await server.close();
  process.exit(0);
});
