// Our EIP-1559 transactions, the signer and hash we read from one a node reports, and
// personal_sign against ethers 6, and EIP-712 digests and
// signatures against @metamask/eth-sig-util 8. Usage: node evm_peer.mjs <evm_driver>.
import { Transaction, Wallet, SigningKey, hexlify, getBytes } from 'ethers';
import { TypedDataUtils, SignTypedDataVersion, signTypedData } from '@metamask/eth-sig-util';
import { driverSession } from './peer_harness.mjs';

const { int, pick, bytes, ask, expectEqual, finish } = driverSession();

const hex = (n) => hexlify(bytes(n));
const bigOfBytes = (n) => (n === 0 ? 0n : BigInt(hex(n)));
// An unsigned value of up to `bits` bits, biased to the edges.
function uintUpTo(bits) {
  const max = (1n << BigInt(bits)) - 1n;
  switch (int(5)) {
    case 0: return 0n;
    case 1: return max;
    case 2: return BigInt(int(300)) & max;
    default: return bigOfBytes(1 + int(bits / 8)) & max;
  }
}
const validKey = () => {
  for (;;) try { return new SigningKey(hex(32)).privateKey; } catch { /* not below the group order */ }
};

const chains = [1n, 42161n, 137n];
// Type-2 fields of case `i`, random, biased to the edges.
function randomFields(i) {
  const fields = {
    type: 2,
    chainId: i < 30 ? chains[i % 3] : pick([...chains, uintUpTo(64), BigInt(int(1000))]),
    nonce: pick([0, 1, 127, 128, 255, 256, int(2 ** 31), Number.MAX_SAFE_INTEGER]),
    maxPriorityFeePerGas: uintUpTo(pick([8, 64, 128, 256])),
    maxFeePerGas: uintUpTo(pick([8, 64, 128, 256])),
    gasLimit: uintUpTo(64),
    to: int(10) === 0 ? null : hex(20),
    value: uintUpTo(pick([8, 64, 256])),
    data: hex(pick([0, 0, 1, 4, 36, 55, 56, 68, 255, 256, 300, int(1200)])),
    accessList: Array.from({ length: pick([0, 0, 1, 2, 3]) }, () => ({
      address: hex(20),
      storageKeys: Array.from({ length: int(4) }, () => hex(32)),
    })),
  };
  // ethers refuses a tip above the fee cap; the wallet never builds one either.
  if (fields.maxPriorityFeePerGas > fields.maxFeePerGas) {
    [fields.maxPriorityFeePerGas, fields.maxFeePerGas] = [fields.maxFeePerGas, fields.maxPriorityFeePerGas];
  }
  return fields;
}

for (let i = 0; i < 300; i++) {
  const key = validKey();
  const fields = randomFields(i);
  const tx = Transaction.from(fields);
  const wallet = new Wallet(key);
  ask({
    op: 'tx', key,
    chainId: fields.chainId.toString(), nonce: fields.nonce.toString(), gasLimit: fields.gasLimit.toString(),
    maxPriorityFeePerGas: '0x' + fields.maxPriorityFeePerGas.toString(16),
    maxFeePerGas: '0x' + fields.maxFeePerGas.toString(16),
    value: '0x' + fields.value.toString(16),
    to: fields.to ?? '0x', data: fields.data, accessList: fields.accessList,
  }, (reply) => {
    expectEqual('0x02' + reply.unsigned?.slice(2), tx.unsignedSerialized, `unsigned tx ${i}`);
    const signedTx = tx.clone();
    signedTx.signature = wallet.signingKey.sign(tx.unsignedHash);
    expectEqual(reply.signed, signedTx.serialized, `signed tx ${i}`);
  });
}

// Transactions ethers signed, as a node reports them: we read the signer and the hash from the
// fields and the signature alone. Their mirror (n - s, the other parity) is a valid ECDSA
// signature that no chain accepts: it names no signer.
const order = 0xfffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141n;
const quantity = (n) => '0x' + BigInt(n).toString(16);
for (let i = 0; i < 200; i++) {
  const fields = randomFields(i);
  const wallet = new Wallet(validKey());
  const tx = Transaction.from(fields);
  tx.signature = wallet.signingKey.sign(tx.unsignedHash);
  const node = {
    type: '0x2', hash: tx.hash, from: wallet.address, blockNumber: null,
    chainId: quantity(fields.chainId), nonce: quantity(fields.nonce), gas: quantity(fields.gasLimit),
    maxPriorityFeePerGas: quantity(fields.maxPriorityFeePerGas), maxFeePerGas: quantity(fields.maxFeePerGas),
    to: fields.to, value: quantity(fields.value), input: fields.data, accessList: fields.accessList,
    v: quantity(tx.signature.yParity), yParity: quantity(tx.signature.yParity),
    r: quantity(tx.signature.r), s: quantity(tx.signature.s),
  };
  ask({ op: 'node', transaction: node }, (reply) => {
    expectEqual(reply.signer, wallet.address.toLowerCase(), `signer ${i}`);
    expectEqual(reply.hash, tx.hash, `hash ${i}`);
  });
  const mirror = quantity(1 - tx.signature.yParity);
  ask({ op: 'node', transaction: { ...node, v: mirror, yParity: mirror, s: quantity(order - BigInt(tx.signature.s)) } },
    (reply) => expectEqual(reply.signer, null, `mirrored signer ${i}`));
}

const messages = [new Uint8Array(0), bytes(1000), ...Array.from({ length: 60 }, () => bytes(int(200)))];
messages.forEach((message, i) => {
  const wallet = new Wallet(validKey());
  ask({ op: 'personal', key: wallet.privateKey, message: hexlify(message) }, (reply) => {
    expectEqual(reply.signature, wallet.signMessageSync(message), `personal_sign ${i}`);
  });
});

// Integers reach us as JSON literals of any size, eth-sig-util as BigInt.
function toJSONText(value) {
  if (typeof value === 'bigint') return value.toString();
  if (Array.isArray(value)) return '[' + value.map(toJSONText).join(',') + ']';
  if (value && typeof value === 'object') {
    return '{' + Object.entries(value).map(([k, v]) => JSON.stringify(k) + ':' + toJSONText(v)).join(',') + '}';
  }
  return JSON.stringify(value);
}

// A value of an atomic type: [what eth-sig-util gets, what our JSON carries].
function atomicValue(type) {
  const same = (v) => [v, v];
  if (type === 'address') return same(hex(20));
  if (type === 'bool') return same(int(2) === 1);
  if (type === 'string') return same(Array.from({ length: int(12) }, () => pick(['a', 'Z', ' ', '"', '\\', '\n', 'é', '€', '𝄞', '\u0001', '0'])).join(''));
  if (type === 'bytes') return same(hex(pick([0, 1, 20, 32, 33, 100])));
  if (type.startsWith('bytes')) return same(hex(Number(type.slice(5))));
  const signed = type.startsWith('int');
  const bits = Number(type.slice(signed ? 3 : 4));
  let value = uintUpTo(signed ? bits - 1 : bits);
  if (signed && int(2) === 1) value = value === 0n ? -1n : -value - BigInt(int(2));
  if (signed && value < -(1n << BigInt(bits - 1))) value = -(1n << BigInt(bits - 1));
  const form = int(3);
  if (form === 1) return [value, value.toString()];
  if (form === 2 && value >= 0n) return [value, '0x' + value.toString(16).padStart(2, '0').replace(/^(.(..)*)$/, '0$1')];
  return [value, value];
}

const sizes = [8, 16, 32, 64, 72, 128, 160, 248, 256];
const atomicTypes = () => pick([
  'address', 'bool', 'string', 'bytes', `bytes${1 + int(32)}`,
  `uint${pick(sizes)}`, `int${pick(sizes)}`, 'uint256', 'int256',
]);

function randomTypedData() {
  const names = ['Alpha', 'Beta', 'Zeta', 'alpha', 'Order_2', 'Item'].slice(0, 2 + int(4));
  const primaryType = names[0];
  const types = {};
  names.forEach((name, index) => {
    types[name] = Array.from({ length: (index === names.length - 1 ? 1 : 0) + int(5) }, (_, f) => {
      const later = names.slice(index + 1);
      let type = later.length > 0 && int(3) === 0 ? pick(later) : atomicTypes();
      const shape = int(7);
      if (shape === 0) type += '[]';
      else if (shape === 1) type += '[][]';
      else if (shape === 2) type += `[${1 + int(3)}]`;
      else if (shape === 3) type += `[${1 + int(2)}][]`;
      return { name: `f${f}_${int(100)}`, type };
    });
  });
  function valueOf(type, depth) {
    if (type.endsWith(']')) {
      const open = type.lastIndexOf('[');
      const element = type.slice(0, open);
      const fixed = type.slice(open + 1, -1);
      const length = fixed === '' ? int(depth > 2 ? 2 : 4) : Number(fixed);
      const pairs = Array.from({ length }, () => valueOf(element, depth + 1));
      return [pairs.map((p) => p[0]), pairs.map((p) => p[1])];
    }
    if (types[type]) {
      const theirs = {}, ours = {};
      for (const field of types[type]) [theirs[field.name], ours[field.name]] = valueOf(field.type, depth + 1);
      return [theirs, ours];
    }
    return atomicValue(type);
  }
  const domainFields = domainType.filter(() => int(4) !== 0);
  types.EIP712Domain = domainFields;
  const domain = {}, ourDomain = {};
  for (const field of domainFields) [domain[field.name], ourDomain[field.name]] = valueOf(field.type, 0);
  const [message, ourMessage] = valueOf(primaryType, 0);
  return {
    theirs: { types, primaryType, domain, message },
    ours: toJSONText({ types, primaryType, domain: ourDomain, message: ourMessage }),
    oursValue: { types, primaryType, domain: ourDomain, message: ourMessage },
  };
}

const domainType = ['name:string', 'version:string', 'chainId:uint256', 'verifyingContract:address', 'salt:bytes32']
  .map((field) => ({ name: field.split(':')[0], type: field.split(':')[1] }));
const mail = {
  types: {
    EIP712Domain: domainType.slice(0, 4),
    Person: [{ name: 'name', type: 'string' }, { name: 'wallet', type: 'address' }],
    Mail: [{ name: 'from', type: 'Person' }, { name: 'to', type: 'Person' }, { name: 'contents', type: 'string' }],
  },
  primaryType: 'Mail',
  domain: { name: 'Ether Mail', version: '1', chainId: 1, verifyingContract: '0xCcCCccccCCCCcCCCCCCcCcCccCcCCCcCcccccccC' },
  message: {
    from: { name: 'Cow', wallet: '0xCD2a3d9F938E13CD947Ec05AbC7FE734Df8DD826' },
    to: { name: 'Bob', wallet: '0xbBbBBBBbbBBBbbbBbbBbbbbBBbBbbbbBbBbbBBbB' },
    contents: 'Hello, Bob!',
  },
};
const cases = [{ theirs: mail, ours: JSON.stringify(mail), oursValue: mail }];
for (let i = 0; i < 300; i++) cases.push(randomTypedData());
cases.forEach(({ theirs, ours, oursValue }, i) => {
  const key = validKey();
  ask({ op: 'typed', key, json: ours }, (reply) => {
    let digest, signature;
    try {
      digest = hexlify(TypedDataUtils.eip712Hash(theirs, SignTypedDataVersion.V4));
      signature = signTypedData({ privateKey: Buffer.from(getBytes(key)), data: theirs, version: SignTypedDataVersion.V4 });
    } catch (error) {
      digest = `eth-sig-util refused: ${error.message}`;
    }
    expectEqual(reply.digest, digest, `typed data digest ${i}: ${ours}`);
    expectEqual(reply.signature, signature, `typed data signature ${i}`);
    // Complete data of the right kinds: our check lets it through.
    expectEqual(reply.refusal, null, `typed data accepted ${i}`);
  });
  // Without one of its message's members, it is refused before anything is signed.
  const members = Object.keys(oursValue.message);
  if (members.length > 0) {
    const message = { ...oursValue.message };
    delete message[pick(members)];
    ask({ op: 'typed', key: validKey(), json: toJSONText({ ...oursValue, message }) }, (reply) => {
      expectEqual(typeof reply.refusal === 'string' && reply.refusal.startsWith('missing value for message.'),
        true, `incomplete typed data refused ${i}: ${reply.refusal}`);
    });
  }
});

finish();
