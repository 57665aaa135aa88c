// A plain Electrum server on loopback for the end-to-end send: one confirmed coin of <sats> at
// <address> (its funding transaction real, so the history reads), fee estimates of 50, 20 and
// 5 sat/vB for 1, 3 and 6 blocks, and every broadcast checked by bitcoinjs-lib: each input's
// signature against the coin it spends, the outputs and the fee. Prints JSON lines: {"port"},
// {"listed"} when the funded address's coins were asked for, {"broadcast": {...}}.
// Usage: node electrum_e2e.mjs <address> <sats>. Stops when its standard input closes.
import { createHash } from 'node:crypto';
import * as bitcoin from 'bitcoinjs-lib';
import * as ecc from 'tiny-secp256k1';
import { serveElectrumLines } from './electrum_line_server.mjs';

bitcoin.initEccLib(ecc);
const [address, satsText] = process.argv.slice(2);
const network = bitcoin.networks.bitcoin;
const sats = Number(satsText);
const say = (line) => process.stdout.write(JSON.stringify(line) + '\n');
const sha256 = (data) => createHash('sha256').update(data).digest();

const fundedScript = bitcoin.address.toOutputScript(address, network);
const fundedHash = Buffer.from(sha256(fundedScript)).reverse().toString('hex');
const funding = new bitcoin.Transaction();
funding.version = 2;
funding.addInput(Buffer.alloc(32, 7), 0);
funding.addOutput(fundedScript, BigInt(sats));
const coin = { tx_hash: funding.getId(), tx_pos: 0, height: 800000, value: sats };
const raws = new Map([[funding.getId(), funding.toHex()]]);

// The spent coin is the only one there is; anything else is refused as a node would.
function checkBroadcast(raw) {
  const tx = bitcoin.Transaction.fromHex(raw);
  if (tx.ins.length !== 1) throw new Error(`${tx.ins.length} inputs`);
  const input = tx.ins[0];
  if (Buffer.from(input.hash).reverse().toString('hex') !== coin.tx_hash || input.index !== 0) {
    throw new Error('the input spends no known coin');
  }
  const [signature, key] = input.witness;
  const paid = bitcoin.payments.p2wpkh({ pubkey: Buffer.from(key) }).output;
  if (!Buffer.from(paid).equals(Buffer.from(fundedScript))) throw new Error('foreign key');
  const decoded = bitcoin.script.signature.decode(signature);
  const scriptCode = bitcoin.payments.p2pkh({ pubkey: Buffer.from(key) }).output;
  const digest = tx.hashForWitnessV0(0, scriptCode, BigInt(sats), decoded.hashType);
  const verified = decoded.hashType === bitcoin.Transaction.SIGHASH_ALL &&
    ecc.verify(digest, Buffer.from(key), decoded.signature, true);
  const outputs = tx.outs.map((out) => ({
    address: bitcoin.address.fromOutputScript(out.script, network),
    value: Number(out.value),
  }));
  const fee = sats - outputs.reduce((sum, out) => sum + out.value, 0);
  say({ broadcast: { verified, outputs, fee, vsize: tx.virtualSize() } });
  if (!verified) throw new Error('bad signature');
  raws.set(tx.getId(), raw);
  return tx.getId();
}

function answer(method, params) {
  const ours = params[0] === fundedHash;
  switch (method) {
    case 'server.version': return ['electrum e2e', '1.4'];
    case 'server.ping': return null;
    case 'blockchain.headers.subscribe': return { height: 800001, hex: '00'.repeat(80) };
    case 'blockchain.scripthash.subscribe':
      return ours ? sha256(`${coin.tx_hash}:${coin.height}:`).toString('hex') : null;
    case 'blockchain.scripthash.get_history':
      return ours ? [{ tx_hash: coin.tx_hash, height: coin.height }] : [];
    case 'blockchain.scripthash.get_balance':
      return { confirmed: ours ? sats : 0, unconfirmed: 0 };
    case 'blockchain.scripthash.listunspent':
      if (ours) say({ listed: fundedHash });
      return ours ? [coin] : [];
    case 'blockchain.estimatefee': return params[0] <= 1 ? 0.0005 : params[0] <= 3 ? 0.0002 : 0.00005;
    case 'blockchain.relayfee': return 0.00001;
    case 'blockchain.transaction.get':
      if (!raws.has(params[0])) throw new Error('no such transaction');
      return raws.get(params[0]);
    case 'blockchain.transaction.broadcast': return checkBroadcast(params[0]);
    default: throw new Error(`unknown method ${method}`);
  }
}

serveElectrumLines(answer);
