// An Electrum server on loopback (plain TCP) that keeps a coin set and a mempool as a node
// does: <count> confirmed coins of <sats> each at <address> (their funding transaction real),
// fee estimates of 50, 20 and 5 sat/vB for 1, 3 and 6 blocks, and every broadcast checked by
// bitcoinjs-lib: each input must be an unspent coin (a second spend of a coin is refused) and
// carry a valid P2WPKH signature for it. A transaction already accepted is accepted again with
// its id, as Bitcoin Core does. Balances, histories and unspent lists follow the mempool.
// Besides Electrum's methods, for the test: `test.received` [address] gives {sats, txids}, what
// the accepted transactions paid to that address and which did, `test.transaction` [txid]
// {fee, outputs: [{address, value}]}, and `test.spendElsewhere` [outpoints, phrase] spends coins
// in a transaction signed by the keys of a BIP-39 phrase (m/84'/0'/0'/0/0 to /19), as another
// wallet of that phrase would. Prints {"port"} once listening.
// Usage: node electrum_mempool_server.mjs <address> <sats> <count>. Stops when its standard
// input closes.
import { createHash } from 'node:crypto';
import { HDKey } from '@scure/bip32';
import { mnemonicToSeedSync } from '@scure/bip39';
import * as bitcoin from 'bitcoinjs-lib';
import * as ecc from 'tiny-secp256k1';
import { serveElectrumLines } from './electrum_line_server.mjs';

bitcoin.initEccLib(ecc);
const [fundedAddress, satsText, countText] = process.argv.slice(2);
const network = bitcoin.networks.bitcoin;
const sha256 = (data) => createHash('sha256').update(data).digest();
const scriptHashOf = (script) => Buffer.from(sha256(script)).reverse().toString('hex');

// Outpoint "txid:index" -> {value, script, height}; accepted transactions by id.
const coins = new Map();
const transactions = new Map();
// Script hash -> [{tx_hash, height}] in the order they arrived.
const histories = new Map();

function record(tx, height) {
  const id = tx.getId();
  transactions.set(id, { raw: tx.toHex(), height });
  const touched = new Set();
  tx.outs.forEach((out, index) => {
    coins.set(`${id}:${index}`, { value: Number(out.value), script: Buffer.from(out.script), height });
    touched.add(scriptHashOf(out.script));
  });
  for (const input of tx.ins) {
    const spent = transactions.get(Buffer.from(input.hash).reverse().toString('hex'));
    if (spent) touched.add(scriptHashOf(bitcoin.Transaction.fromHex(spent.raw).outs[input.index].script));
  }
  for (const hash of touched) {
    if (!histories.has(hash)) histories.set(hash, []);
    histories.get(hash).push({ tx_hash: id, height });
  }
}

const funding = new bitcoin.Transaction();
funding.version = 2;
funding.addInput(Buffer.alloc(32, 7), 0);
for (let i = 0; i < Number(countText); ++i) {
  funding.addOutput(bitcoin.address.toOutputScript(fundedAddress, network), BigInt(satsText));
}
record(funding, 800000);

function accept(raw) {
  const tx = bitcoin.Transaction.fromHex(raw);
  const id = tx.getId();
  if (transactions.has(id)) return id;
  const spending = tx.ins.map((input) => `${Buffer.from(input.hash).reverse().toString('hex')}:${input.index}`);
  if (new Set(spending).size !== spending.length) throw new Error('bad-txns-inputs-duplicate');
  let paidIn = 0;
  tx.ins.forEach((input, index) => {
    const coin = coins.get(spending[index]);
    if (!coin) throw new Error('bad-txns-inputs-missingorspent');
    const [signature, key] = input.witness;
    if (!signature || !key) throw new Error('mandatory-script-verify-flag-failed (witness)');
    const paid = bitcoin.payments.p2wpkh({ pubkey: Buffer.from(key) }).output;
    if (!Buffer.from(paid).equals(coin.script)) throw new Error('mandatory-script-verify-flag-failed (key)');
    const decoded = bitcoin.script.signature.decode(signature);
    const scriptCode = bitcoin.payments.p2pkh({ pubkey: Buffer.from(key) }).output;
    const digest = tx.hashForWitnessV0(index, scriptCode, BigInt(coin.value), decoded.hashType);
    if (!ecc.verify(digest, Buffer.from(key), decoded.signature, true)) {
      throw new Error('mandatory-script-verify-flag-failed (signature)');
    }
    paidIn += coin.value;
  });
  const paidOut = tx.outs.reduce((sum, out) => sum + Number(out.value), 0);
  if (paidOut > paidIn) throw new Error('bad-txns-in-belowout');
  if (paidIn - paidOut < tx.virtualSize()) throw new Error('min relay fee not met');
  for (const outpoint of spending) coins.delete(outpoint);
  record(tx, 0);
  transactions.get(id).fee = paidIn - paidOut;
  return id;
}

let funded = 0;
function fund(address, sats) {
  const tx = new bitcoin.Transaction();
  tx.version = 2;
  tx.addInput(Buffer.alloc(32, 8 + (++funded % 200)), funded);
  tx.addOutput(bitcoin.address.toOutputScript(address, network), BigInt(sats));
  record(tx, 800001);
  return `${tx.getId()}:0`;
}

function spendElsewhere(outpoints, phrase) {
  const receive = HDKey.fromMasterSeed(mnemonicToSeedSync(phrase, '')).derive("m/84'/0'/0'/0");
  const keys = Array.from({ length: 20 }, (_, i) => receive.deriveChild(i));
  const tx = new bitcoin.Transaction();
  tx.version = 2;
  let value = 0;
  const spent = [];
  for (const outpoint of outpoints) {
    const coin = coins.get(outpoint);
    if (!coin) throw new Error(`no coin ${outpoint}`);
    const [txid, index] = outpoint.split(':');
    tx.addInput(Buffer.from(txid, 'hex').reverse(), Number(index), 0xfffffffd);
    value += coin.value;
    spent.push(coin);
  }
  tx.addOutput(bitcoin.payments.p2wpkh({ hash: Buffer.alloc(20, 0xee) }).output, BigInt(value - 1000));
  spent.forEach((coin, index) => {
    const key = keys.find((k) => Buffer.from(bitcoin.payments.p2wpkh({ pubkey: Buffer.from(k.publicKey) }).output).equals(coin.script));
    if (!key) throw new Error(`no key of the phrase holds ${outpoints[index]}`);
    const pubkey = Buffer.from(key.publicKey);
    const digest = tx.hashForWitnessV0(index, bitcoin.payments.p2pkh({ pubkey }).output, BigInt(coin.value),
      bitcoin.Transaction.SIGHASH_ALL);
    const signature = bitcoin.script.signature.encode(Buffer.from(ecc.sign(digest, key.privateKey)),
      bitcoin.Transaction.SIGHASH_ALL);
    tx.setWitness(index, [signature, pubkey]);
  });
  for (const outpoint of outpoints) coins.delete(outpoint);
  record(tx, 0);
  return tx.getId();
}

function unspentAt(scriptHash) {
  const list = [];
  for (const [outpoint, coin] of coins) {
    if (scriptHashOf(coin.script) !== scriptHash) continue;
    const [tx_hash, index] = outpoint.split(':');
    list.push({ tx_hash, tx_pos: Number(index), height: coin.height, value: coin.value });
  }
  return list;
}

function status(scriptHash) {
  const history = histories.get(scriptHash);
  if (!history) return null;
  return sha256(history.map((entry) => `${entry.tx_hash}:${entry.height}:`).join('')).toString('hex');
}

function received(address) {
  const script = bitcoin.address.toOutputScript(address, network);
  let sats = 0;
  const txids = [];
  for (const [id, entry] of transactions) {
    if (id === funding.getId()) continue;
    const paid = bitcoin.Transaction.fromHex(entry.raw).outs
      .filter((out) => Buffer.from(out.script).equals(script))
      .reduce((sum, out) => sum + Number(out.value), 0);
    if (paid > 0) {
      sats += paid;
      txids.push(id);
    }
  }
  return { sats, txids };
}

function described(txid) {
  const entry = transactions.get(txid);
  if (!entry) throw new Error('No such mempool or blockchain transaction');
  const outputs = bitcoin.Transaction.fromHex(entry.raw).outs.map((out) => ({
    address: bitcoin.address.fromOutputScript(out.script, network),
    value: Number(out.value),
  }));
  return { fee: entry.fee, outputs };
}

function answer(method, params) {
  switch (method) {
    case 'server.version': return ['electrum mempool', '1.4'];
    case 'server.ping': return null;
    case 'blockchain.headers.subscribe': return { height: 800001, hex: '00'.repeat(80) };
    case 'blockchain.scripthash.subscribe': return status(params[0]);
    case 'blockchain.scripthash.get_history': return histories.get(params[0]) || [];
    case 'blockchain.scripthash.get_balance': {
      const list = unspentAt(params[0]);
      const sum = (confirmed) => list.filter((c) => (c.height > 0) === confirmed)
        .reduce((total, c) => total + c.value, 0);
      return { confirmed: sum(true), unconfirmed: sum(false) };
    }
    case 'blockchain.scripthash.listunspent': return unspentAt(params[0]);
    case 'blockchain.estimatefee': return params[0] <= 1 ? 0.0005 : params[0] <= 3 ? 0.0002 : 0.00005;
    case 'blockchain.relayfee': return 0.00001;
    case 'blockchain.transaction.get':
      if (!transactions.has(params[0])) throw new Error('No such mempool or blockchain transaction');
      return transactions.get(params[0]).raw;
    case 'blockchain.transaction.broadcast': return accept(params[0]);
    case 'test.received': return received(params[0]);
    case 'test.transaction': return described(params[0]);
    case 'test.spendElsewhere': return spendElsewhere(params[0], params[1]);
    case 'test.fund': return fund(params[0], params[1]);
    default: throw new Error(`unknown method ${method}`);
  }
}

serveElectrumLines(answer);
