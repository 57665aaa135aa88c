// Our signed P2WPKH transactions, output parser, whole-transaction reader and witness check
// against bitcoinjs-lib 7 (tiny-secp256k1, ecpair). Usage: node btc_peer.mjs <btc_driver>.
// QM_SEED replays a run.
import * as bitcoin from 'bitcoinjs-lib';
import * as ecc from 'tiny-secp256k1';
import { ECPairFactory } from 'ecpair';
import { driverSession } from './peer_harness.mjs';

bitcoin.initEccLib(ecc);
const ECPair = ECPairFactory(ecc);
const { int, pick, bytes, ask, expectEqual, finish } = driverSession();
const hex = (b) => Buffer.from(b).toString('hex');
const network = bitcoin.networks.bitcoin;

function privateKey() {
  for (let key = bytes(32); ; key = bytes(32)) if (ecc.isPrivate(key)) return key;
}
const amount = () => BigInt(int(2 ** 30)) * BigInt(1 + int(2 ** 20)) + BigInt(int(1000));

function randomScript() {
  switch (int(7)) {
    case 0: return bitcoin.payments.p2pkh({ hash: Buffer.from(bytes(20)) }).output;
    case 1: return bitcoin.payments.p2sh({ hash: Buffer.from(bytes(20)) }).output;
    case 2: return bitcoin.payments.p2wpkh({ hash: Buffer.from(bytes(20)) }).output;
    case 3: return bitcoin.payments.p2wsh({ hash: Buffer.from(bytes(32)) }).output;
    case 4: return bitcoin.payments.p2tr({ internalPubkey: Buffer.from(ecc.pointFromScalar(privateKey()).subarray(1)) }).output;
    case 5: return bitcoin.payments.embed({ data: [Buffer.from(bytes(int(40)))] }).output;
    default: return Buffer.from(bytes(int(60))); // arbitrary bytes: usually no address
  }
}

for (let t = 0; t < 60; t++) {
  const inputs = Array.from({ length: 1 + int(5) }, () => ({
    hash: Buffer.from(bytes(32)),
    index: int(4) === 0 ? int(2 ** 32) : int(8),
    sequence: pick([0xfffffffd, 0xffffffff, 0, int(2 ** 32)]),
    key: Buffer.from(privateKey()),
    value: amount(),
  }));
  const total = inputs.reduce((sum, input) => sum + input.value, 0n);
  const outputCount = 1 + int(3);
  const outputs = Array.from({ length: outputCount }, () => ({
    script: randomScript(),
    value: total / BigInt(outputCount + 1) - BigInt(int(500)),
  }));
  const version = pick([1, 2, 2, int(2 ** 31)]);
  const lockTime = pick([0, 0, int(2 ** 32)]);

  const psbt = new bitcoin.Psbt({ network });
  psbt.setVersion(version);
  psbt.setLocktime(lockTime);
  for (const input of inputs) {
    const pair = ECPair.fromPrivateKey(input.key);
    psbt.addInput({
      hash: input.hash,
      index: input.index,
      sequence: input.sequence,
      witnessUtxo: { script: bitcoin.payments.p2wpkh({ pubkey: Buffer.from(pair.publicKey) }).output, value: input.value },
    });
  }
  for (const output of outputs) psbt.addOutput({ script: output.script, value: output.value });
  inputs.forEach((input, i) => psbt.signInput(i, ECPair.fromPrivateKey(input.key)));
  psbt.finalizeAllInputs();
  const theirs = psbt.extractTransaction(true).toHex();

  ask({
    op: 'sign', version, lockTime,
    inputs: inputs.map((i) => ({ txHash: hex(i.hash), outputIndex: i.index, sequence: i.sequence })),
    outputs: outputs.map((o) => ({ value: o.value.toString(), script: hex(o.script) })),
    amounts: inputs.map((i) => i.value.toString()),
    keys: inputs.map((i) => hex(i.key)),
  }, (reply) => {
    expectEqual(reply.hex, theirs, `signed transaction ${t}`);
    const tx = bitcoin.Transaction.fromHex(reply.hex);
    tx.ins.forEach((input, i) => {
      const [sig, pubkey] = input.witness;
      const decoded = bitcoin.script.signature.decode(sig);
      const scriptCode = bitcoin.payments.p2pkh({ pubkey }).output;
      const digest = tx.hashForWitnessV0(i, scriptCode, inputs[i].value, bitcoin.Transaction.SIGHASH_ALL);
      expectEqual(decoded.hashType, 1, `sighash type ${t}/${i}`);
      expectEqual(ecc.verify(digest, pubkey, decoded.signature, true), true, `signature ${t}/${i} verifies (strict low S)`);
    });
  });
}

for (let t = 0; t < 150; t++) {
  const tx = new bitcoin.Transaction();
  tx.version = 2;
  const inputCount = 1 + int(3);
  for (let i = 0; i < inputCount; i++) {
    tx.addInput(Buffer.from(bytes(32)), int(10), 0xfffffffd, Buffer.from(bytes(int(3) === 0 ? int(300) : 0)));
  }
  const outputCount = 1 + int(8);
  for (let i = 0; i < outputCount; i++) tx.addOutput(randomScript(), BigInt(int(2 ** 31)) * BigInt(1 + int(2 ** 22)));
  if (int(2) === 0) tx.ins.forEach((input) => { input.witness = [Buffer.from(bytes(72)), Buffer.from(bytes(33))]; });
  const expected = tx.outs.map((o) => {
    let address = null;
    try { address = bitcoin.address.fromOutputScript(o.script, network); } catch { /* no address */ }
    if (/^bc1[^qp]/.test(address)) address = null; // only witness versions 0 and 1 are named
    return `${o.value}:${address}`;
  }).join(' ');
  ask({ op: 'parse', hex: tx.toHex() }, (reply) =>
    expectEqual(reply.outputs.map((o) => `${o.value}:${o.address}`).join(' '), expected, `outputs of ${tx.toHex()}`));
}

// Spenders signed here with every sighash type BIP-143 defines, their S low or high (consensus
// takes either), some inputs with more inputs than outputs (SINGLE past the outputs): each reads
// as bitcoinjs-lib reads it, and each witness spends its coin, but not one a satoshi larger.
const order = 0xfffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141n;
const types = [0x01, 0x02, 0x03, 0x81, 0x82, 0x83];
for (let t = 0; t < 60; t++) {
  const tx = new bitcoin.Transaction();
  tx.version = pick([1, 2, int(2 ** 31)]);
  tx.locktime = pick([0, int(2 ** 32)]);
  const coins = Array.from({ length: 1 + int(4) }, () => ({ key: ECPair.fromPrivateKey(Buffer.from(privateKey())), value: amount() }));
  for (const coin of coins) {
    tx.addInput(Buffer.from(bytes(32)), int(4) === 0 ? int(2 ** 32) : int(8), pick([0xfffffffd, 0xffffffff, int(2 ** 32)]));
    coin.script = bitcoin.payments.p2wpkh({ pubkey: Buffer.from(coin.key.publicKey) }).output;
  }
  for (let i = 1 + int(coins.length); i > 0; i--) tx.addOutput(randomScript(), BigInt(int(2 ** 31)));
  coins.forEach((coin, i) => {
    const type = pick(types);
    const pubkey = Buffer.from(coin.key.publicKey);
    const digest = tx.hashForWitnessV0(i, bitcoin.payments.p2pkh({ pubkey }).output, coin.value, type);
    const compact = Buffer.from(coin.key.sign(digest));
    if (int(2) === 0) {
      const high = order - BigInt(`0x${hex(compact.subarray(32))}`);
      compact.set(Buffer.from(high.toString(16).padStart(64, '0'), 'hex'), 32);
    }
    tx.setWitness(i, [bitcoin.script.signature.encode(compact, type), pubkey]);
  });
  const hexTx = tx.toHex();
  ask({
    op: 'read', hex: hexTx,
    coins: coins.map((coin, i) => ({
      outpoint: `${hex(Buffer.from(tx.ins[i].hash).reverse())}:${tx.ins[i].index}`,
      value: coin.value.toString(), script: hex(coin.script),
    })),
  }, (reply) => {
    // Keys in the driver's (alphabetical) order.
    const theirs = {
      id: tx.getId(),
      inputs: tx.ins.map((input) => ({
        outpoint: `${hex(Buffer.from(input.hash).reverse())}:${input.index}`,
        script: hex(input.script), sequence: input.sequence, witness: input.witness.map(hex),
      })),
      lockTime: tx.locktime,
      outputs: tx.outs.map((output) => ({ script: hex(output.script), value: output.value.toString() })),
      version: tx.version,
    };
    expectEqual(JSON.stringify(reply.transaction), JSON.stringify(theirs), `read ${hexTx}`);
    expectEqual(JSON.stringify(reply.spends), JSON.stringify(coins.map(() => [true, false])), `witnesses of ${hexTx}`);
  });
}

finish();
