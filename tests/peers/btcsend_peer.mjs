// The Bitcoin send sheet over a loopback Electrum server, each broadcast transaction checked by
// bitcoinjs-lib 7: every input signed by the key of its address's derivation index (also after
// an address was deleted from the middle of the list), the recipient's output, the change to
// the first address, a remainder below the dust limit left to the fee, and the fee against the
// rate the user saw. A send whose transaction needs more than the fee shown (more inputs, a
// remainder left to the fee, a higher estimate at send time) stops before signing and shows
// the fee it needs; sent again, it pays exactly that. "Max" sends every coin to one output:
// when that is not the amount and fee shown, the send stops first and shows both. Every send
// is pressed twice.
// Usage: node btcsend_peer.mjs <btcsend_driver>. QM_SEED replays a run.
import * as bitcoin from 'bitcoinjs-lib';
import * as ecc from 'tiny-secp256k1';
import { driverSession } from './peer_harness.mjs';

bitcoin.initEccLib(ecc);
const { int, bytes, ask, expectEqual, finish } = driverSession();
const hex = (b) => Buffer.from(b).toString('hex');
const network = bitcoin.networks.bitcoin;
const password = 'peer password';

const p2wpkh = (publicKey) =>
  bitcoin.payments.p2wpkh({ pubkey: Buffer.from(publicKey, 'hex') }).output;
const recipients = {
  p2wpkh: () => bitcoin.payments.p2wpkh({ hash: Buffer.from(bytes(20)) }).address,
  p2wsh: () => bitcoin.payments.p2wsh({ hash: Buffer.from(bytes(32)) }).address,
  p2tr: () => {
    const key = Buffer.from(ecc.pointFromScalar(Buffer.from([...Array(31).fill(0), 1 + int(200)])));
    return bitcoin.payments.p2tr({ internalPubkey: key.subarray(1) }).address;
  },
  testnet: () =>
    bitcoin.payments.p2wpkh({ hash: Buffer.from(bytes(20)), network: bitcoin.networks.testnet })
      .address,
};
const coin = (index, value) => ({ index, txid: hex(bytes(32)), vout: int(4), value });
// ceil(10.5 + 68 inputs + 31 outputs)
const vbytes = (inputs, outputs) => 11 + 68 * inputs + 31 * outputs;
const btcText = (sats) => `${Math.floor(sats / 1e8)}.${String(sats % 1e8).padStart(8, '0')}`;

// Checks one broadcast transaction against the request and the fee shown when it was sent.
function verifyTransaction(raw, request, reply, attempt, amountSats, what) {
  const tx = bitcoin.Transaction.fromHex(raw);
  expectEqual(tx.version, 2, `${what}: version`);
  expectEqual(tx.locktime, 0, `${what}: lock time`);
  const keyOf = new Map(reply.addresses.map((a) => [a.index, a.publicKey]));
  let inputTotal = 0;
  tx.ins.forEach((input, i) => {
    const txid = hex(Buffer.from(input.hash).reverse());
    const spent = request.coins.find((c) => c.txid === txid && c.vout === input.index);
    if (!spent) return expectEqual('unknown coin', txid, `${what}: input ${i}`);
    inputTotal += spent.value;
    expectEqual(input.sequence, 0xfffffffd, `${what}: input ${i} sequence`);
    const publicKey = keyOf.get(spent.index);
    const [signature, witnessKey] = input.witness;
    expectEqual(hex(witnessKey), publicKey, `${what}: input ${i} key of index ${spent.index}`);
    const decoded = bitcoin.script.signature.decode(signature);
    const scriptCode = bitcoin.payments.p2pkh({ pubkey: Buffer.from(publicKey, 'hex') }).output;
    const digest = tx.hashForWitnessV0(i, scriptCode, BigInt(spent.value), decoded.hashType);
    expectEqual(decoded.hashType, bitcoin.Transaction.SIGHASH_ALL, `${what}: input ${i} hash type`);
    expectEqual(ecc.verify(digest, Buffer.from(publicKey, 'hex'), decoded.signature, true), true,
      `${what}: input ${i} signature`);
  });
  const recipient = bitcoin.address.toOutputScript(request.recipient, network);
  expectEqual(hex(tx.outs[0].script), hex(recipient), `${what}: recipient script`);
  expectEqual(tx.outs[0].value, BigInt(amountSats), `${what}: amount`);
  const outputTotal = tx.outs.reduce((sum, out) => sum + Number(out.value), 0);
  const fee = inputTotal - outputTotal;
  const rate = attempt.shownRate;
  // A P2WSH or P2TR output's script is 12 bytes longer than the 22 of P2WPKH.
  const withChange = (vbytes(tx.ins.length, 2) + recipient.length - 22) * rate;
  if (tx.outs.length === 2) {
    expectEqual(hex(tx.outs[1].script), hex(p2wpkh(reply.addresses[0].publicKey)),
      `${what}: change to the first address`);
    expectEqual(fee, withChange, `${what}: fee at the rate shown`);
  } else {
    expectEqual(tx.outs.length, 1, `${what}: outputs`);
    // What a change output would have kept is dust: it went to the fee.
    expectEqual(fee - withChange <= 546, true, `${what}: remainder left to the fee is dust`);
  }
  expectEqual(fee <= attempt.shownFee, true, `${what}: fee ${fee} within the fee shown`);
  expectEqual(fee >= rate * tx.virtualSize(), true, `${what}: at least the rate shown`);
  return fee;
}

// A send that first stops at the fee it needs, then pays exactly that.
function stopsThenSends(name, request, expectedFee, expectedRate, outputs) {
  ask({ ...request, sends: 2, password }, (reply) => {
    const [first, second] = reply.attempts;
    expectEqual(first.step, 'Failed', `${name}: the first send stops`);
    expectEqual(first.error.includes(`${btcText(expectedFee)} BTC (${expectedRate} sat/vB)`),
      true, `${name}: the fee it needs in "${first.error}"`);
    expectEqual(reply.seedLoads[0], 0, `${name}: nothing signed before the fee was seen`);
    expectEqual(second.shownFee, expectedFee, `${name}: the fee shown now`);
    expectEqual(second.step, 'Submitted', `${name}: the second send ends submitted`);
    expectEqual(second.txHash, 'f00d', `${name}: the server's id`);
    expectEqual(reply.seedLoads[1], 1, `${name}: one seed opening`);
    expectEqual(reply.broadcasts.length, 1, `${name}: one broadcast for two presses`);
    if (reply.broadcasts.length !== 1) return;
    const amountSats = Math.round(Number(request.amount) * 1e8);
    const fee = verifyTransaction(reply.broadcasts[0], request, reply, second, amountSats, name);
    expectEqual(fee, expectedFee, `${name}: the fee paid`);
    expectEqual(bitcoin.Transaction.fromHex(reply.broadcasts[0]).outs.length, outputs,
      `${name}: outputs`);
  });
}

// Several addresses, the second deleted: coins only on the third and fourth (indices 2 and
// 3). Two inputs need 1045 sats at 5 sat/vB, more than the 705 shown.
stopsThenSends('several addresses', {
  addresses: 4, delete: [1], estimate: -1, sendEstimate: -1, amount: '0.29',
  recipient: recipients.p2wpkh(),
  coins: [coin(2, 20_000_000), coin(3, 15_000_000), coin(3, 1_000)],
}, vbytes(2, 2) * 5, 5, 2);

// One coin, 295 sats over amount and fee: no change output, the remainder paid as fee.
stopsThenSends('dust remainder', {
  addresses: 1, delete: [], estimate: -1, sendEstimate: -1, amount: '0.00009',
  recipient: recipients.p2wpkh(), coins: [coin(0, 10_000)],
}, 1_000, 5, 1);

// The estimate rose from 5 to 20 sat/vB between the sheet and the send.
stopsThenSends('higher estimate', {
  addresses: 2, delete: [], estimate: 0.00005, sendEstimate: 0.0002, amount: '0.001',
  recipient: recipients.p2tr(), coins: [coin(1, 1_000_000)],
}, (vbytes(1, 2) + 12) * 20, 20, 2);

// A P2WSH payment is 12 vB larger than the estimate's P2WPKH one: the send stops once and
// shows the fee at the rate shown, never pays less than that rate.
stopsThenSends('larger payment output', {
  addresses: 1, delete: [], estimate: 0.00003, sendEstimate: 0.00003, amount: '0.001',
  recipient: recipients.p2wsh(), coins: [coin(0, 1_000_000)],
}, (vbytes(1, 2) + 12) * 3, 3, 2);

// Paid at once when the transaction is what the estimate assumed; "0.29" is 29,000,000 sats.
{
  const kind = 'p2wpkh';
  const request = {
    addresses: 3, delete: [], estimate: 0.00001 * (1 + int(20)), sendEstimate: 0.00001,
    amount: '0.29', recipient: recipients[kind](), coins: [coin(int(3), 40_000_000 + int(1e6))],
  };
  ask({ ...request, sends: 1, password }, (reply) => {
    const [attempt] = reply.attempts;
    expectEqual(attempt.step, 'Submitted', `${kind}: submitted (${attempt.error})`);
    expectEqual(reply.broadcasts.length, 1, `${kind}: one broadcast`);
    if (reply.broadcasts.length === 1) {
      verifyTransaction(reply.broadcasts[0], request, reply, attempt, 29_000_000, kind);
    }
  });
}

// "Max": every coin to one output, no change. `revised`: the first send stops (nothing signed)
// and shows the amount and fee every coin pays; the second sends exactly those.
function maxSend(name, request, { amount, fee, rate, revised }) {
  const sends = revised ? 2 : 1;
  ask({ ...request, max: true, amount: '', sends, password }, (reply) => {
    const last = reply.attempts[sends - 1];
    if (revised) {
      const [first] = reply.attempts;
      expectEqual(first.step, 'Failed', `${name}: the first send stops`);
      expectEqual(first.error, `Sending everything pays ${btcText(amount)} BTC to the recipient ` +
        `and a fee of ${btcText(fee)} BTC (${rate} sat/vB). Review the new amount and send again.`,
      `${name}: the revision's text`);
      expectEqual(reply.seedLoads[0], 0, `${name}: nothing signed before the amount was seen`);
    }
    expectEqual(last.shownAmount, btcText(amount), `${name}: the amount shown`);
    expectEqual(last.shownFee, fee, `${name}: the fee shown, also after a new estimate`);
    expectEqual(last.shownRate, rate, `${name}: the rate shown`);
    expectEqual(last.step, 'Submitted', `${name}: submitted (${last.error})`);
    expectEqual(reply.broadcasts.length, 1, `${name}: one broadcast`);
    if (reply.broadcasts.length !== 1) return;
    const paid = verifyTransaction(reply.broadcasts[0], request, reply, last, amount, name);
    expectEqual(paid, fee, `${name}: the fee paid`);
    const tx = bitcoin.Transaction.fromHex(reply.broadcasts[0]);
    expectEqual(tx.outs.length, 1, `${name}: one output`);
    expectEqual(tx.ins.length, request.coins.length, `${name}: every coin spent`);
  });
}

// Three coins over two addresses: the 141 vB estimate is not what three inputs need. A P2TR
// output is 12 vB above P2WPKH.
{
  const coins = [coin(0, 20_000_000), coin(1, 15_000_000), coin(1, 1_000)];
  const fee = (vbytes(3, 1) + 12) * 5;
  maxSend('max over three coins', {
    addresses: 2, delete: [], estimate: -1, sendEstimate: -1, recipient: recipients.p2tr(), coins,
  }, { amount: 35_001_000 - fee, fee, rate: 5, revised: true });
}

// One coin: what "Max" showed (the balance less the 141 vB fee) pays it all, at once.
maxSend('max of one coin', {
  addresses: 1, delete: [], estimate: -1, sendEstimate: -1, recipient: recipients.p2wpkh(),
  coins: [coin(0, 1_000_000)],
}, { amount: 1_000_000 - 705, fee: 705, rate: 5, revised: false });

// The estimate rose from 5 to 20 sat/vB: the fee shown no longer covers one input.
maxSend('max at a higher estimate', {
  addresses: 1, delete: [], estimate: 0.00005, sendEstimate: 0.0002, recipient: recipients.p2wpkh(),
  coins: [coin(0, 1_000_000)],
}, { amount: 1_000_000 - vbytes(1, 1) * 20, fee: vbytes(1, 1) * 20, rate: 20, revised: true });

// "Max", then an amount typed: an ordinary payment from the largest coin, with change.
{
  const request = {
    addresses: 2, delete: [], estimate: -1, sendEstimate: -1, recipient: recipients.p2wpkh(),
    coins: [coin(1, 500_000), coin(0, 1_000_000)], max: true, edit: '0.001', amount: '',
    sends: 1, password,
  };
  ask(request, (reply) => {
    const [attempt] = reply.attempts;
    expectEqual(attempt.shownAmount, '0.001', 'max then edited: the amount typed');
    expectEqual(attempt.step, 'Submitted', `max then edited: submitted (${attempt.error})`);
    expectEqual(reply.broadcasts.length, 1, 'max then edited: one broadcast');
    if (reply.broadcasts.length !== 1) return;
    verifyTransaction(reply.broadcasts[0], request, reply, attempt, 100_000, 'max then edited');
    const tx = bitcoin.Transaction.fromHex(reply.broadcasts[0]);
    expectEqual(tx.ins.length, 1, 'max then edited: one input');
    expectEqual(tx.outs.length, 2, 'max then edited: change');
  });
}

// Failures the user can meet: each fails with its text and nothing leaves.
const failures = [
  ['testnet recipient', { recipient: recipients.testnet() }, 'Invalid recipient address'],
  ['legacy recipient', { recipient: '1BoatSLRHtKNngkdXEeobR76b53LETtpyT' },
    'Invalid recipient address'],
  ['wrong password', { password: 'not it' }, 'Incorrect password'],
  ['not enough', { amount: '1' },
    'Insufficient funds: 1000000 sats available, 100000550 sats needed (including fee).'],
  ['no coins', { coins: [] }, 'Insufficient funds'],
  ['a fraction of a satoshi', { amount: '0.000000019' }, 'Invalid amount'],
  ['listing refused', { failAtSend: 'blockchain.scripthash.listunspent' },
    'Server error 1: refused'],
  ['estimate refused', { failAtSend: 'blockchain.estimatefee' }, 'Server error 1: refused'],
  ['broadcast refused', { failAtSend: 'blockchain.transaction.broadcast' },
    'Server error 1: refused'],
  // "Max" of 1000 sats leaves 450 after the 550 of one input and one output: dust.
  ['max leaves dust', { coins: [coin(0, 1_000)], max: true, amount: '' },
    'Insufficient funds: 1000 sats available, 1097 sats needed (including fee).'],
];
for (const [name, change, text] of failures) {
  const request = {
    addresses: 2, delete: [], estimate: -1, sendEstimate: -1, amount: '0.001',
    recipient: recipients.p2wpkh(), coins: [coin(0, 1_000_000)], sends: 1, password, ...change,
  };
  ask(request, (reply) => {
    expectEqual(reply.attempts[0].step, 'Failed', `${name}: failed`);
    expectEqual(reply.attempts[0].error, text, `${name}: text`);
    expectEqual(reply.broadcasts.length, 0, `${name}: nothing broadcast`);
  });
}

// The sheet closes while the send runs: it ends submitted all the same.
{
  const request = {
    addresses: 1, delete: [], estimate: -1, sendEstimate: -1, amount: '0.001',
    recipient: recipients.p2wpkh(), coins: [coin(0, 1_000_000)], sends: 1, password,
    closeSheet: true,
  };
  ask(request, (reply) => {
    expectEqual(reply.attempts[0].step, 'Submitted', 'closed sheet: submitted');
    expectEqual(reply.attempts[0].txHash, 'f00d', 'closed sheet: the id');
    expectEqual(reply.broadcasts.length, 1, 'closed sheet: one broadcast');
    if (reply.broadcasts.length === 1) {
      verifyTransaction(reply.broadcasts[0], request, reply, { shownRate: 5, shownFee: 705 },
        100_000, 'closed sheet');
    }
  });
}

finish();
