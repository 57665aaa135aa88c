// The Bitcoin send sheet over a loopback Electrum server, each broadcast transaction checked by
// bitcoinjs-lib 7: every input signed by the key of its address's derivation index (also after
// an address was deleted from the middle of the list), the recipient's output, the change to
// the first address, a remainder below the dust limit left to the fee, and the fee the review
// showed, paid exactly. The review is prepared from the coins that will be spent and the
// recipient's output, so a Taproot or P2WSH payment, or one of several coins, goes out on the
// first press. When the chain moved after the review (a higher estimate, a coin spent), the
// send stops before signing and shows the new figures; sent again, it pays exactly those.
// "Max" sends every coin to one output, its amount and fee shown on the review. Recipients
// and amounts the network would refuse, and coins no chain can hold, are refused before
// anything is signed. Each fee level signs its own rate. Every send is pressed twice.
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
// The exact text of an amount: every digit it needs, no trailing zeros.
const btcText = (sats) =>
  `${Math.floor(sats / 1e8)}.${String(sats % 1e8).padStart(8, '0')}`.replace(/\.?0+$/, '');

// Checks one broadcast transaction against the request and the figures the review showed.
function verifyTransaction(raw, request, reply, attempt, what) {
  const tx = bitcoin.Transaction.fromHex(raw);
  expectEqual(tx.version, 2, `${what}: version`);
  expectEqual(tx.locktime, 0, `${what}: lock time`);
  const keyOf = new Map(reply.addresses.map((a) => [a.index, a.publicKey]));
  const coins = request.coinsAfterReview ?? request.coins;
  let inputTotal = 0;
  tx.ins.forEach((input, i) => {
    const txid = hex(Buffer.from(input.hash).reverse());
    const spent = coins.find((c) => c.txid === txid && c.vout === input.index);
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
  expectEqual(tx.outs[0].value, BigInt(attempt.shownAmount), `${what}: the amount shown`);
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
  expectEqual(fee, attempt.shownFee, `${what}: the fee shown is the fee paid`);
  expectEqual(fee >= rate * tx.virtualSize(), true, `${what}: at least the rate shown`);
  return fee;
}

// A send that goes out on the first press, with exactly the figures its review showed.
function sendsAtOnce(name, request, { fee, rate, outputs, inputs }) {
  ask({ ...request, sends: 1, password }, (reply) => {
    const [attempt] = reply.attempts;
    expectEqual(reply.review.error, '', `${name}: prepared`);
    expectEqual(reply.review.fee, fee, `${name}: the review's fee`);
    expectEqual(reply.review.rate, rate, `${name}: the review's rate`);
    expectEqual(reply.review.feeText, `${btcText(fee)} BTC (${rate} sat/vB)`, `${name}: fee text`);
    expectEqual(reply.review.totalText, `${btcText(reply.review.amount + fee)} BTC`,
      `${name}: total text`);
    expectEqual(reply.reviewSeedLoads, 0, `${name}: nothing signed to prepare`);
    if (!attempt) return expectEqual('no attempt', 'an attempt', name);
    expectEqual(attempt.step, 'Submitted', `${name}: the first press sends (${attempt.error})`);
    expectEqual(reply.seedLoads[0], 1, `${name}: one seed opening`);
    expectEqual(reply.broadcasts.length, 1, `${name}: one broadcast for two presses`);
    if (reply.broadcasts.length !== 1) return;
    const tx = bitcoin.Transaction.fromHex(reply.broadcasts[0]);
    verifyTransaction(reply.broadcasts[0], request, reply, attempt, name);
    expectEqual(tx.outs.length, outputs, `${name}: outputs`);
    expectEqual(tx.ins.length, inputs, `${name}: inputs`);
  });
}

// A send whose chain moved after the review: the first press stops before signing and names
// the new figures, which the review then shows; the second pays exactly those.
function stopsThenSends(name, request, { text, fee, rate, amount }) {
  ask({ ...request, sends: 2, password }, (reply) => {
    const [first, second] = reply.attempts;
    expectEqual(reply.review.error, '', `${name}: prepared`);
    if (!second) return expectEqual('one attempt', 'two attempts', name);
    expectEqual(first.step, 'Failed', `${name}: the first send stops`);
    expectEqual(first.error, text, `${name}: what changed`);
    expectEqual(reply.seedLoads[0], 0, `${name}: nothing signed before the new figures were seen`);
    expectEqual(second.shownFee, fee, `${name}: the fee shown now`);
    expectEqual(second.shownRate, rate, `${name}: the rate shown now`);
    if (amount !== undefined) {
      expectEqual(second.shownAmount, amount, `${name}: the amount shown now`);
      expectEqual(second.formAmount, btcText(amount), `${name}: the form's amount with it`);
    }
    expectEqual(second.step, 'Submitted', `${name}: the second send ends submitted`);
    expectEqual(reply.seedLoads[1], 1, `${name}: one seed opening`);
    expectEqual(reply.broadcasts.length, 1, `${name}: one broadcast for two presses`);
    if (reply.broadcasts.length !== 1) return;
    expectEqual(second.txHash, bitcoin.Transaction.fromHex(reply.broadcasts[0]).getId(),
      `${name}: the transaction's id`);
    verifyTransaction(reply.broadcasts[0], request, reply, second, name);
  });
}

// Refused before anything is signed: in the form (no review at all), or when the review is
// prepared (its text shows in the form), or at the send.
function refused(name, request, { form, review, send, opened = 0 }) {
  ask({ sends: 1, password, ...request }, (reply) => {
    if (form) {
      expectEqual(reply.review.canReview, false, `${name}: nothing to review`);
      expectEqual(reply.review.recipientError || reply.review.amountError, form, `${name}: text`);
    } else if (review) {
      expectEqual(reply.review.error, review, `${name}: the review's text`);
      expectEqual(reply.review.fee, undefined, `${name}: no figures shown`);
    } else {
      expectEqual(reply.attempts[0]?.step, 'Failed', `${name}: failed`);
      expectEqual(reply.attempts[0]?.error, send, `${name}: text`);
    }
    expectEqual(reply.reviewSeedLoads, 0, `${name}: the seed not opened to review`);
    expectEqual((reply.seedLoads ?? [0])[0], opened, `${name}: seed openings to send`);
    expectEqual(reply.broadcasts.length, 0, `${name}: nothing broadcast`);
  });
}

const base = { addresses: 2, delete: [], estimate: -1, sendEstimate: -1 };

// Several addresses, the second deleted: coins only on the third and fourth (indices 2 and
// 3). Two inputs and change at 5 sat/vB: 1045 sats, shown and paid (the old review's one-input
// estimate showed 705).
sendsAtOnce('two coins', {
  ...base, addresses: 4, delete: [1], amount: '0.29', recipient: recipients.p2wpkh(),
  coins: [coin(2, 20_000_000), coin(3, 15_000_000), coin(3, 1_000)],
}, { fee: vbytes(2, 2) * 5, rate: 5, outputs: 2, inputs: 2 });

// One coin, 295 sats over amount and fee: no change output, the remainder shown as the fee.
sendsAtOnce('dust remainder', {
  ...base, addresses: 1, amount: '0.00009', recipient: recipients.p2wpkh(),
  coins: [coin(0, 10_000)],
}, { fee: 1_000, rate: 5, outputs: 1, inputs: 1 });

// Taproot and P2WSH outputs are 12 vB larger than P2WPKH: shown, and paid, at the first press.
sendsAtOnce('taproot recipient', {
  ...base, estimate: 0.00003, sendEstimate: 0.00003, amount: '0.001',
  recipient: recipients.p2tr(), coins: [coin(1, 1_000_000)],
}, { fee: (vbytes(1, 2) + 12) * 3, rate: 3, outputs: 2, inputs: 1 });
sendsAtOnce('p2wsh recipient', {
  ...base, addresses: 1, estimate: 0.00003, sendEstimate: 0.00003, amount: '0.001',
  recipient: recipients.p2wsh(), coins: [coin(0, 1_000_000)],
}, { fee: (vbytes(1, 2) + 12) * 3, rate: 3, outputs: 2, inputs: 1 });

// A lower estimate at the send: signed at the rate the review showed.
{
  const estimate = 0.00001 * (1 + int(20));
  // The rate of an estimate as the wallet computes it, in double precision.
  const rate = Math.max(1, Math.ceil((estimate * 100_000_000) / 1000));
  sendsAtOnce('lower estimate at the send', {
    ...base, addresses: 3, estimate, sendEstimate: 0.00001, amount: '0.29',
    recipient: recipients.p2wpkh(), coins: [coin(int(3), 40_000_000 + int(1e6))],
  }, { fee: vbytes(1, 2) * rate, rate, outputs: 2, inputs: 1 });
}

// The estimate rose from 5 to 20 sat/vB between the review and the send.
stopsThenSends('higher estimate', {
  ...base, estimate: 0.00005, sendEstimate: 0.0002, amount: '0.001',
  recipient: recipients.p2tr(), coins: [coin(1, 1_000_000)],
}, {
  text: `This transaction needs a fee of ${btcText((vbytes(1, 2) + 12) * 20)} BTC (20 sat/vB), ` +
    'more than the fee shown. Review the new fee and send again.',
  fee: (vbytes(1, 2) + 12) * 20, rate: 20,
});

// The coin the review chose was spent meanwhile; another of the same size takes its place: the
// review's figures still hold, so it is signed at once.
{
  const [chosen, other] = [coin(0, 2_000_000), coin(1, 1_500_000)];
  sendsAtOnce('a spent coin replaced by a like one', {
    ...base, amount: '0.001', recipient: recipients.p2wpkh(), coins: [chosen, other],
    coinsAfterReview: [other],
  }, { fee: vbytes(1, 2) * 5, rate: 5, outputs: 2, inputs: 1 });
}

// ...and when the coins left need two inputs, the send stops and shows the fee they need.
{
  const coins = [coin(0, 2_000_000), coin(1, 600_000), coin(1, 600_000)];
  stopsThenSends('a spent coin replaced by two', {
    ...base, amount: '0.01', recipient: recipients.p2wpkh(), coins,
    coinsAfterReview: coins.slice(1),
  }, {
    text: `This transaction needs a fee of ${btcText(vbytes(2, 2) * 5)} BTC (5 sat/vB), more ` +
      'than the fee shown. Review the new fee and send again.',
    fee: vbytes(2, 2) * 5, rate: 5,
  });
}

// "Max": every coin to one output, no change; the review shows what every coin pays (three
// inputs and a Taproot output here), the form's amount with it, and the first press sends it.
{
  const coins = [coin(0, 20_000_000), coin(1, 15_000_000), coin(1, 1_000)];
  const fee = (vbytes(3, 1) + 12) * 5;
  const request = { ...base, recipient: recipients.p2tr(), coins, max: true, amount: '', sends: 1,
    password };
  ask(request, (reply) => {
      const name = 'max over three coins';
      const [attempt] = reply.attempts;
      expectEqual(reply.review.amount, 35_001_000 - fee, `${name}: the amount shown`);
      expectEqual(reply.review.fee, fee, `${name}: the fee shown`);
      expectEqual(reply.review.formAmount, btcText(35_001_000 - fee), `${name}: the form's amount`);
      expectEqual(reply.review.totalText, `${btcText(35_001_000)} BTC`, `${name}: every coin`);
      if (!attempt) return expectEqual('no attempt', 'an attempt', name);
      expectEqual(attempt.step, 'Submitted', `${name}: submitted (${attempt.error})`);
      expectEqual(reply.broadcasts.length, 1, `${name}: one broadcast`);
      if (reply.broadcasts.length !== 1) return;
      verifyTransaction(reply.broadcasts[0], request, reply, attempt, name);
    });
}

// The estimate rose from 5 to 20 sat/vB after the review of "Max": the send stops and shows
// the amount every coin pays now.
stopsThenSends('max at a higher estimate', {
  ...base, addresses: 1, estimate: 0.00005, sendEstimate: 0.0002, recipient: recipients.p2wpkh(),
  coins: [coin(0, 1_000_000)], max: true, amount: '',
}, {
  text: `Sending everything pays ${btcText(1_000_000 - vbytes(1, 1) * 20)} BTC to the ` +
    `recipient and a fee of ${btcText(vbytes(1, 1) * 20)} BTC (20 sat/vB). Review the new amount ` +
    'and send again.',
  fee: vbytes(1, 1) * 20, rate: 20, amount: 1_000_000 - vbytes(1, 1) * 20,
});

// "Max", then an amount typed: an ordinary payment from the largest coin, with change.
sendsAtOnce('max then edited', {
  ...base, recipient: recipients.p2wpkh(), coins: [coin(1, 500_000), coin(0, 1_000_000)],
  max: true, edit: '0.001', amount: '',
}, { fee: vbytes(1, 2) * 5, rate: 5, outputs: 2, inputs: 1 });

// Refused in the form: nothing to review.
const payment = { ...base, amount: '0.001', recipient: recipients.p2wpkh(), coins: [coin(0, 1_000_000)] };
refused('testnet recipient', { ...payment, recipient: recipients.testnet() }, {
  form: "This is a test-network address; this wallet pays on Bitcoin's main network (bc1...).",
});
refused('legacy recipient', { ...payment, recipient: '1BoatSLRHtKNngkdXEeobR76b53LETtpyT' }, {
  form: 'Only bc1 addresses (SegWit and Taproot) can be paid from this wallet.',
});
refused('a fraction of a satoshi', { ...payment, amount: '0.000000019' }, { form: 'Invalid amount' });
refused('below the dust limit', { ...payment, amount: '0.00000545' }, {
  form: "Below the network's dust limit: send at least 0.00000546 BTC.",
});
// "Max" of 1000 sats leaves 295 after the estimate's 705: dust.
refused('max leaves dust', { ...payment, coins: [coin(0, 1_000)], max: true, amount: '' }, {
  form: "Below the network's dust limit: send at least 0.00000546 BTC.",
});

// Refused when the review is prepared: the text in the form, no figures, no signing.
refused('not enough', { ...payment, amount: '1' }, {
  review: 'Insufficient funds: 1000000 sats available, 100000550 sats needed (including fee).',
});
refused('no coins', { ...payment, coins: [] }, { review: 'Insufficient funds' });
// Coins no chain can hold, from a hostile server.
{
  const [a, b] = [coin(0, 600_000), coin(1, 700_000)];
  refused('a coin over 21,000,000 BTC', { ...payment, coins: [a, { ...b, value: 2_100_000_000_000_001 }] }, {
    review: "The server's list of coins cannot be right: the coin " +
      `${b.txid}:${b.vout} holds more than 21,000,000 BTC.`,
  });
  refused('an outpoint listed twice', { ...payment, coins: [a, { ...a, index: 1 }] }, {
    review: `The server's list of coins cannot be right: the coin ${a.txid}:${a.vout} is listed twice.`,
  });
  // Each below the supply, together above it: the change would overflow.
  refused('coins that make change overflow', {
    ...payment, coins: [{ ...a, value: 1_500_000_000_000_000 }, { ...b, value: 1_500_000_000_000_000 }],
  }, { review: "The server's list of coins cannot be right: its coins add up to more than 21,000,000 BTC." });
  // The same refusal when the list turns hostile after the review.
  refused('a duplicate listed at the send', { ...payment, coins: [a, b], coinsAfterReview: [a, b, { ...b }] }, {
    send: `The server's list of coins cannot be right: the coin ${b.txid}:${b.vout} is listed twice.`,
  });
}

// Refused at the send.
refused('wrong password', { ...payment, password: 'not it' }, {
  send: 'Incorrect password', opened: 1,
});
for (const method of ['blockchain.scripthash.listunspent', 'blockchain.estimatefee',
  'blockchain.transaction.broadcast']) {
  refused(`${method} refused`, { ...payment, failAtSend: method }, {
    send: 'Server error 1: refused', opened: method.endsWith('broadcast') ? 1 : 0,
  });
}

// The server's answer must be the transaction's own id: anything else is its refusal, shown
// with its text, and the review stays (the chain does not know the transaction).
for (const [answer, text] of [['f00d', 'The server refused the transaction: f00d'],
  ['', 'The server refused the transaction.'],
  ['the transaction was rejected by network rules',
    'The server refused the transaction: the transaction was rejected by network rules']]) {
  ask({ ...payment, sends: 1, password, broadcastAnswer: answer }, (reply) => {
    expectEqual(reply.attempts[0]?.step, 'Failed', `answer "${answer}": failed`);
    expectEqual(reply.attempts[0]?.error, text, `answer "${answer}": the refusal`);
    expectEqual(reply.attempts[0]?.txHash, '', `answer "${answer}": no id shown`);
  });
}

// The server takes the transaction and its answer is lost (the connection closes, or no answer
// comes in time): the send asks the chain through a new connection, finds it, and ends
// submitted with the transaction's id.
for (const mode of ['drop', 'stall']) {
  ask({ ...payment, sends: 1, password, broadcastAnswer: mode }, (reply) => {
    const [first] = reply.attempts;
    expectEqual(first?.step, 'Submitted', `lost answer (${mode}): submitted (${first?.error})`);
    expectEqual(first?.error, '', `lost answer (${mode}): the chain knows it`);
    expectEqual(reply.seedLoads[0], 1, `lost answer (${mode}): signed once`);
    const ids = new Set(reply.broadcasts.map((raw) => bitcoin.Transaction.fromHex(raw).getId()));
    expectEqual(ids.size, 1, `lost answer (${mode}): one transaction, however often sent`);
    if (reply.broadcasts.length === 0) return;
    expectEqual(first.txHash, bitcoin.Transaction.fromHex(reply.broadcasts[0]).getId(),
      `lost answer (${mode}): the id shown`);
  });
}

// The fee level chosen is the rate signed: Economy the estimate for 6 blocks, Normal for 3,
// Priority for 1, each with its own rate, shown on the review and paid exactly.
{
  const estimates = { 1: 0.00025, 3: 0.00012, 6: 0.00004 };
  const rateOf = (estimate) => Math.max(1, Math.ceil((estimate * 100_000_000) / 1000));
  const rates = new Set(Object.values(estimates).map(rateOf));
  expectEqual(rates.size, 3, 'three levels, three rates');
  for (const [level, blocks] of [['Slow', 6], ['Normal', 3], ['Fast', 1]]) {
    const rate = rateOf(estimates[blocks]);
    sendsAtOnce(`the ${level} level`, {
      ...payment, level, estimates, recipient: recipients.p2wpkh(),
    }, { fee: vbytes(1, 2) * rate, rate, outputs: 2, inputs: 1 });
  }
}

// A lookup must answer with our own transaction: another transaction (a real one, segwit, that
// bitcoinjs-lib wrote) or junk says nothing. A refusal then stays a refusal, its text shown and
// no id, after the wait for the chain's word; a lost answer ends submitted with the note, once.
{
  const other = new bitcoin.Transaction();
  other.version = 2;
  other.addInput(Buffer.from(bytes(32)), 0, 0xfffffffd);
  other.addOutput(p2wpkh(hex(ecc.pointFromScalar(Buffer.from([...Array(31).fill(0), 7])))), 5000n);
  other.setWitness(0, [Buffer.from(bytes(71)), Buffer.from(bytes(33))]);
  const lookups = [['another transaction', other.toHex()], ['junk', 'not a transaction'],
    ['no hex', 'zz']];
  for (const [what, lookupAnswer] of lookups) {
    ask({ ...payment, sends: 1, password, lookupAnswer, waitMs: 1500, failAtSend: 'blockchain.transaction.broadcast' },
      (reply) => {
        expectEqual(reply.attempts[0]?.step, 'Failed', `refused, lookup ${what}: failed`);
        expectEqual(reply.attempts[0]?.error, 'Server error 1: refused', `refused, lookup ${what}: its text`);
        expectEqual(reply.attempts[0]?.txHash, '', `refused, lookup ${what}: no id shown`);
      });
  }
  ask({ ...payment, sends: 1, password, lookupAnswer: other.toHex(), waitMs: 1500, broadcastAnswer: 'f00d' },
    (reply) => {
      expectEqual(reply.attempts[0]?.step, 'Failed', 'answered another text, lookup another transaction');
      expectEqual(reply.attempts[0]?.error, 'The server refused the transaction: f00d', 'its refusal');
    });
  ask({ ...payment, sends: 1, password, lookupAnswer: other.toHex(), waitMs: 1500, broadcastAnswer: 'drop' },
    (reply) => {
      const [first] = reply.attempts;
      expectEqual(first?.step, 'Submitted', 'lost, lookup another transaction: submitted');
      expectEqual(first?.error, "The server's answer was lost; the transaction may still confirm.",
        'lost, lookup another transaction: the note');
      expectEqual(reply.seedLoads[0], 1, 'lost, lookup another transaction: signed once');
      if (reply.broadcasts.length === 0) return expectEqual(0, 1, 'lost: nothing broadcast');
      expectEqual(first.txHash, bitcoin.Transaction.fromHex(reply.broadcasts[0]).getId(),
        'lost, lookup another transaction: our id');
    });
}

// The sheet closes while the send runs: it ends submitted all the same.
{
  const request = { ...payment, addresses: 1, sends: 1, password, closeSheet: true };
  ask(request, (reply) => {
    expectEqual(reply.attempts[0].step, 'Submitted', 'closed sheet: submitted');
    expectEqual(reply.broadcasts.length, 1, 'closed sheet: one broadcast');
    if (reply.broadcasts.length === 1) {
      expectEqual(reply.attempts[0].txHash, bitcoin.Transaction.fromHex(reply.broadcasts[0]).getId(),
        'closed sheet: the id');
      verifyTransaction(reply.broadcasts[0], request, reply,
        { shownRate: 5, shownFee: 705, shownAmount: 100_000 }, 'closed sheet');
    }
  });
}

finish();
