// A Solana JSON-RPC server over litesvm on 127.0.0.1: the methods the wallet uses, shaped as a
// validator answers them; litesvm executes and verifies every submitted transaction, and runs a
// simulated one without keeping it. The block height is the slot, which each accepted
// transaction moves on by one. Blocks that pass without transactions (advance, setAging) give
// the runtime a new blockhash; the one before stays valid for 150 blocks after the last slot at
// which it was the latest.
import http from 'node:http';
import { LiteSVM } from 'litesvm';
import {
  address, getBase58Decoder, getBase58Encoder, getCompiledTransactionMessageDecoder, getTransactionDecoder,
} from '@solana/kit';

export const TOKEN_PROGRAM = 'TokenkegQfeZyiNwAJbNbGKPFXCWuBvf9Ss623VQ5DA';
const base58 = getBase58Decoder(); // bytes -> text
const base58Bytes = getBase58Encoder(); // text -> bytes

const readU64 = (bytes, offset) =>
  new DataView(bytes.buffer, bytes.byteOffset + offset, 8).getBigUint64(0, true);

// An account as "base64" encoding shows it; null for none (a closed account has no lamports).
function encodedAccount(account) {
  if (!account || account.exists === false || account.lamports === 0n) return null;
  return {
    lamports: Number(account.lamports), owner: account.programAddress, executable: account.executable,
    data: [Buffer.from(account.data).toString('base64'), 'base64'], rentEpoch: 0, space: account.data.length,
  };
}

function decodeTransaction(text, config) {
  if (config?.encoding !== 'base64') throw { code: -32602, message: 'only base64 here' };
  try {
    return getTransactionDecoder().decode(Buffer.from(text, 'base64'));
  } catch (error) {
    throw { code: -32602, message: `failed to deserialize transaction: ${error.message}` };
  }
}

// `options.blockhashOverride`: the blockhash getLatestBlockhash answers instead of the runtime's.
export function startSolanaRpcServer(options = {}) {
  const svm = new LiteSVM();
  const history = new Map(); // address -> [{signature, slot, err}], newest first
  const statuses = new Map(); // signature -> {slot, err}
  const requests = [];
  const lastValid = new Map(); // blockhash -> the last block height at which it can land
  let slot = 1;
  let aging = 0; // blocks that pass at each look at the height
  let missing = new Set(); // methods answered as unknown
  let unknownBlockhashes = false; // isBlockhashValid as a node that has seen none

  // The runtime's blockhash, as fresh as the current slot.
  const latest = () => {
    const blockhash = svm.latestBlockhash();
    lastValid.set(blockhash, slot + 150);
    return blockhash;
  };
  const pass = (count) => {
    if (count <= 0) return;
    latest();
    slot += count;
    svm.expireBlockhash();
    latest();
  };

  const methods = {
    getBalance([owner]) {
      return { context: { slot }, value: Number(svm.getBalance(address(owner)) ?? 0n) };
    },
    getLatestBlockhash() {
      const blockhash = latest();
      return {
        context: { slot },
        value: { blockhash: options.blockhashOverride ?? blockhash, lastValidBlockHeight: slot + 150 },
      };
    },
    getMultipleAccounts([addresses, config]) {
      if (config?.encoding !== 'base64') throw { code: -32602, message: 'only base64 here' };
      return { context: { slot }, value: addresses.map((key) => encodedAccount(svm.getAccount(address(key)))) };
    },
    // As a validator runs it: on the current state, nothing kept; accounts the transaction does
    // not touch are as they are now.
    simulateTransaction([text, config]) {
      const transaction = decodeTransaction(text, config);
      if (config?.replaceRecentBlockhash) throw { code: -32602, message: 'replaceRecentBlockhash: not here' };
      const asked = config?.accounts;
      if (asked && asked.encoding !== 'base64') throw { code: -32602, message: 'only base64 accounts here' };
      if ((asked?.addresses.length ?? 0) > accountKeys(transaction).length + lookupCount(transaction)) {
        throw { code: -32602, message: 'Too many accounts provided' };
      }
      svm.withSigverify(config?.sigVerify ?? false);
      let outcome;
      try {
        outcome = svm.simulateTransaction(transaction);
      } finally {
        svm.withSigverify(true);
      }
      if (typeof outcome.err === 'function') {
        const err = /err: (.*?), meta:/.exec(outcome.toString())?.[1] ?? 'failed';
        return { context: { slot }, value: { err, logs: outcome.meta().logs(), accounts: null, unitsConsumed: 0 } };
      }
      const after = new Map(outcome.postAccounts().map((account) => [account.address, account]));
      const accounts = asked
        ? asked.addresses.map((key) => encodedAccount(after.has(key) ? after.get(key) : svm.getAccount(address(key))))
        : null;
      return { context: { slot }, value: { err: null, logs: outcome.meta().logs(), accounts, unitsConsumed: Number(outcome.meta().computeUnitsConsumed()) } };
    },
    sendTransaction([text, config]) {
      const transaction = decodeTransaction(text, config);
      const outcome = svm.sendTransaction(transaction);
      if (typeof outcome.err === 'function') {
        throw { code: -32002, message: `Transaction simulation failed: ${outcome.toString().slice(0, 300)}` };
      }
      const signature = base58.decode(outcome.signature());
      slot += 1;
      statuses.set(signature, { slot, err: null });
      for (const key of Object.keys(transaction.signatures).concat(accountKeys(transaction))) {
        const list = history.get(key) ?? [];
        if (list[0]?.signature !== signature) list.unshift({ signature, slot, err: null });
        history.set(key, list);
      }
      return signature;
    },
    getSignatureStatuses([signatures]) {
      const value = signatures.map((signature) => (statuses.has(signature)
        ? { ...statuses.get(signature), confirmations: null, status: statuses.get(signature).err ? { Err: statuses.get(signature).err } : { Ok: null }, confirmationStatus: 'finalized' }
        : null));
      return { context: { slot }, value };
    },
    getEpochInfo() {
      pass(aging);
      return { absoluteSlot: slot, blockHeight: slot, epoch: 0, slotIndex: slot, slotsInEpoch: 432000, transactionCount: statuses.size };
    },
    isBlockhashValid([blockhash]) {
      latest();
      const valid = !unknownBlockhashes && lastValid.has(blockhash) && slot <= lastValid.get(blockhash);
      return { context: { slot }, value: valid };
    },
    getTokenAccountsByOwner([owner, filter, config]) {
      if (filter?.programId !== TOKEN_PROGRAM || config?.encoding !== 'jsonParsed') {
        throw { code: -32602, message: 'unsupported filter or encoding' };
      }
      const value = svm
        .getProgramAccounts(address(TOKEN_PROGRAM))
        .filter((account) => account.data.length === 165 && base58.decode(account.data.slice(32, 64)) === owner)
        .map((account) => {
          const mint = base58.decode(account.data.slice(0, 32));
          const decimals = svm.getAccount(address(mint)).data[44];
          const amount = readU64(account.data, 64);
          const uiAmount = Number(amount) / 10 ** decimals;
          const tokenAmount = { amount: amount.toString(), decimals, uiAmount, uiAmountString: uiAmount.toString() };
          const info = { isNative: false, mint, owner, state: 'initialized', tokenAmount };
          const data = { program: 'spl-token', space: 165, parsed: { type: 'account', info } };
          return {
            pubkey: account.address,
            account: { lamports: Number(account.lamports), owner: TOKEN_PROGRAM, executable: false, rentEpoch: 0, space: 165, data },
          };
        });
      return { context: { slot }, value };
    },
    getSignaturesForAddress([owner, config]) {
      return (history.get(owner) ?? []).slice(0, config?.limit ?? 1000)
        .map((entry) => ({ ...entry, memo: null, blockTime: null, confirmationStatus: 'confirmed' }));
    },
  };

  const server = http.createServer((request, response) => {
    let body = '';
    request.on('data', (chunk) => (body += chunk));
    request.on('end', () => {
      let id = null;
      let reply;
      try {
        const call = JSON.parse(body);
        requests.push(call);
        id = call.id;
        const method = missing.has(call.method) ? undefined : methods[call.method];
        if (!method) throw { code: -32601, message: 'Method not found' };
        reply = { jsonrpc: '2.0', id, result: method(call.params ?? []) };
      } catch (error) {
        const code = typeof error?.code === 'number' ? error.code : -32603;
        reply = { jsonrpc: '2.0', id, error: { code, message: String(error?.message ?? error) } };
      }
      response.writeHead(200, { 'Content-Type': 'application/json' });
      response.end(JSON.stringify(reply));
    });
  });

  return new Promise((resolve) => {
    server.listen(0, '127.0.0.1', () => {
      resolve({
        svm,
        requests,
        url: `http://127.0.0.1:${server.address().port}/`,
        // One method as a request to the server runs it (a throw is the node's error object).
        call: (method, params) => methods[method](params),
        close: () => new Promise((done) => server.close(done)),
        // From now on `count` blocks pass (without transactions) at every look at the height
        // (getEpochInfo).
        setAging(count) {
          aging = count;
        },
        // `count` blocks pass (without transactions) at once.
        advance(count) {
          pass(count);
        },
        // These methods answer "Method not found" from now on (none: every method answers).
        setMissing(names) {
          missing = new Set(names);
        },
        // From now on isBlockhashValid answers false for every blockhash (or as it should).
        setUnknownBlockhashes(unknown) {
          unknownBlockhashes = unknown;
        },
        // A signature the cluster saw land and fail with `err`.
        recordFailure(signature, err) {
          slot += 1;
          statuses.set(signature, { slot, err });
        },
        // A mint with `decimals` and a token account of `owner` holding `amount` of it.
        addTokenAccount(tokenAccount, mint, owner, amount, decimals) {
          const put = (at, lamports, data) => svm.setAccount({
            address: address(at), programAddress: address(TOKEN_PROGRAM), executable: false,
            lamports, space: BigInt(data.length), data,
          });
          const mintData = new Uint8Array(82);
          mintData[44] = decimals;
          mintData[45] = 1; // initialised
          put(mint, 1461600n, mintData);
          const data = new Uint8Array(165);
          data.set(base58Bytes.encode(mint), 0);
          data.set(base58Bytes.encode(owner), 32);
          new DataView(data.buffer).setBigUint64(64, BigInt(amount), true);
          data[108] = 1; // initialised
          put(tokenAccount, 2039280n, data);
        },
      });
    });
  });
}

// The number of accounts a version 0 message takes from lookup tables (none for legacy).
function lookupCount(transaction) {
  const message = getCompiledTransactionMessageDecoder().decode(transaction.messageBytes);
  return (message.addressTableLookups ?? [])
    .reduce((count, lookup) => count + lookup.writableIndexes.length + lookup.readonlyIndexes.length, 0);
}

function accountKeys(transaction) {
  // The header (3 bytes, after the version byte of a versioned message), a compact count (< 128
  // here), then the message's own keys (a lookup table's are not among them).
  const message = transaction.messageBytes;
  const start = message[0] & 0x80 ? 1 : 0;
  const count = message[start + 3];
  return Array.from({ length: count }, (_, i) =>
    base58.decode(message.slice(start + 4 + 32 * i, start + 36 + 32 * i)));
}
