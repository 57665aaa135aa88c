// A plain Electrum server on loopback for the end-to-end sends: confirmed coins of <sats> each
// at <address> (outputs of one real funding transaction, so the history reads), fee estimates
// of 50, 20 and 5 sat/vB for 1, 3 and 6 blocks, and every broadcast checked by bitcoinjs-lib:
// each input must spend one of those coins with a valid signature for it, and no coin is spent
// by two transactions ("txn-mempool-conflict"). The unspent list and the balance leave out the
// coins a taken transaction spends. With "keep-first", the first transaction taken is answered
// with an error, and the lookups (the transaction, the history) never know it: a server whose
// index lags behind its mempool. Prints JSON lines: {"port"}, {"listed"} when the funded
// address's coins were asked for, {"broadcast": {verified, outputs, fee, vsize, txid, inputs,
// taken}} for each broadcast. `test.taken` gives the transactions taken: [{txid, inputs}].
// Usage: node electrum_e2e.mjs <address> <sats> [<sats> ...] [keep-first]. Stops when its
// standard input closes.
import { createHash } from 'node:crypto';
import * as bitcoin from 'bitcoinjs-lib';
import * as ecc from 'tiny-secp256k1';
import { serveElectrumLines } from './electrum_line_server.mjs';

bitcoin.initEccLib(ecc);
const [address, ...rest] = process.argv.slice(2);
const keepFirst = rest.includes('keep-first');
const amounts = rest.filter((arg) => arg !== 'keep-first').map(Number);
const network = bitcoin.networks.bitcoin;
const say = (line) => process.stdout.write(JSON.stringify(line) + '\n');
const sha256 = (data) => createHash('sha256').update(data).digest();

const fundedScript = bitcoin.address.toOutputScript(address, network);
const fundedHash = Buffer.from(sha256(fundedScript)).reverse().toString('hex');
const funding = new bitcoin.Transaction();
funding.version = 2;
funding.addInput(Buffer.alloc(32, 7), 0);
for (const sats of amounts) funding.addOutput(fundedScript, BigInt(sats));
const fundingHeight = 800000;
// Outpoint "txid:index" -> {value, spentBy}: the funded coins, and which taken transaction
// spends each.
const coins = new Map(amounts.map((value, index) =>
  [`${funding.getId()}:${index}`, { value, spentBy: null }]));
// What the lookups know.
const raws = new Map([[funding.getId(), funding.toHex()]]);
const taken = [];
let kept = null;

function checkBroadcast(raw) {
  const tx = bitcoin.Transaction.fromHex(raw);
  const txid = tx.getId();
  const inputs = tx.ins.map((input) =>
    `${Buffer.from(input.hash).reverse().toString('hex')}:${input.index}`);
  let verified = inputs.length > 0;
  let paidIn = 0;
  tx.ins.forEach((input, index) => {
    const coin = coins.get(inputs[index]);
    if (!coin) throw new Error('the input spends no known coin');
    const [signature, key] = input.witness;
    const paid = bitcoin.payments.p2wpkh({ pubkey: Buffer.from(key) }).output;
    if (!Buffer.from(paid).equals(Buffer.from(fundedScript))) throw new Error('foreign key');
    const decoded = bitcoin.script.signature.decode(signature);
    const scriptCode = bitcoin.payments.p2pkh({ pubkey: Buffer.from(key) }).output;
    const digest = tx.hashForWitnessV0(index, scriptCode, BigInt(coin.value), decoded.hashType);
    verified = verified && decoded.hashType === bitcoin.Transaction.SIGHASH_ALL &&
      ecc.verify(digest, Buffer.from(key), decoded.signature, true);
    paidIn += coin.value;
  });
  const outputs = tx.outs.map((out) => ({
    address: bitcoin.address.fromOutputScript(out.script, network),
    value: Number(out.value),
  }));
  const fee = paidIn - outputs.reduce((sum, out) => sum + out.value, 0);
  const conflict = inputs.some((outpoint) => ![null, txid].includes(coins.get(outpoint).spentBy));
  const isNew = !taken.some((entry) => entry.txid === txid);
  const vsize = tx.virtualSize();
  say({ broadcast: { verified, outputs, fee, vsize, txid, inputs, taken: verified && !conflict } });
  if (!verified) throw new Error('bad signature');
  if (conflict) throw new Error('txn-mempool-conflict');
  for (const outpoint of inputs) coins.get(outpoint).spentBy = txid;
  if (isNew) taken.push({ txid, inputs });
  if (keepFirst && (kept === null || kept === txid)) {
    kept = txid;
    throw new Error('daemon error: timeout');
  }
  raws.set(txid, raw);
  return txid;
}

const unspent = () => [...coins].filter(([, coin]) => coin.spentBy === null);

function answer(method, params) {
  const ours = params[0] === fundedHash;
  switch (method) {
    case 'server.version': return ['electrum e2e', '1.4'];
    case 'server.ping': return null;
    case 'blockchain.headers.subscribe': return { height: 800001, hex: '00'.repeat(80) };
    case 'blockchain.scripthash.subscribe':
      return ours ? sha256(`${funding.getId()}:${fundingHeight}:`).toString('hex') : null;
    case 'blockchain.scripthash.get_history':
      return ours ? [{ tx_hash: funding.getId(), height: fundingHeight }] : [];
    case 'blockchain.scripthash.get_balance':
      return {
        confirmed: ours ? unspent().reduce((sum, [, coin]) => sum + coin.value, 0) : 0,
        unconfirmed: 0,
      };
    case 'blockchain.scripthash.listunspent':
      if (ours) say({ listed: fundedHash });
      return ours ? unspent().map(([outpoint, coin]) => {
        const [tx_hash, index] = outpoint.split(':');
        return { tx_hash, tx_pos: Number(index), height: fundingHeight, value: coin.value };
      }) : [];
    case 'blockchain.estimatefee': return params[0] <= 1 ? 0.0005 : params[0] <= 3 ? 0.0002 : 0.00005;
    case 'blockchain.relayfee': return 0.00001;
    case 'blockchain.transaction.get':
      if (!raws.has(params[0])) throw new Error('No such mempool or blockchain transaction');
      return raws.get(params[0]);
    case 'blockchain.transaction.broadcast': return checkBroadcast(params[0]);
    case 'test.taken': return taken;
    default: throw new Error(`unknown method ${method}`);
  }
}

serveElectrumLines(answer);
