// Our Uniswap V3 call data decoded (and re-encoded) by ethers 6's ABI coder, and our checked
// 256-bit arithmetic and minimum outputs against BigInt. Usage: node swap_peer.mjs <swap_driver>.
import { Interface, getAddress, hexlify, id } from 'ethers';
import { driverSession } from './peer_harness.mjs';

const { int, pick, bytes, ask, expectEqual, finish } = driverSession();

const MAX = (1n << 256n) - 1n;
const q = (n) => '0x' + n.toString(16);
const hex = (n) => hexlify(bytes(n));
function uintUpTo(bits) {
  const max = (1n << BigInt(bits)) - 1n;
  switch (int(6)) {
    case 0: return 0n;
    case 1: return max;
    case 2: return BigInt(int(300)) & max;
    case 3: return (1n << BigInt(int(bits))) ;
    default: return bytes(1 + int(bits / 8)).reduce((v, b) => (v << 8n) | BigInt(b), 0n) & max;
  }
}

// Checked arithmetic: refused exactly when the true result leaves 0 ... 2^256 - 1.
const fit = (v) => (v < 0n || v > MAX ? null : q(v));
for (let i = 0; i < 400; i++) {
  const a = uintUpTo(pick([8, 64, 128, 200, 256]));
  const b = uintUpTo(pick([8, 64, 128, 200, 256]));
  const d = uintUpTo(pick([8, 64, 128, 256]));
  ask({ op: 'arith', a: q(a), b: q(b), d: q(d) }, (reply) => {
    expectEqual(reply.add, fit(a + b), `add ${i}`);
    expectEqual(reply.sub, fit(a - b), `sub ${i}`);
    expectEqual(reply.mul, fit(a * b), `mul ${i}`);
    expectEqual(reply.mulDiv, d === 0n ? null : fit((a * b) / d), `mulDiv ${i}`);
  });
}

// Minimum outputs around 2^53 (a double's integers end), 2^64 and 2^200, and at the top.
for (const base of [1n << 53n, 1n << 64n, 1n << 200n, MAX]) {
  for (let i = 0; i < 40; i++) {
    const amount = base === MAX ? MAX - BigInt(int(1000)) : base + BigInt(int(2001)) - 1000n;
    const bps = pick([0, 1, 30, 50, 100, 9999, 10000, int(10001)]);
    ask({ op: 'minimum', amount: q(amount), bps }, (reply) => {
      expectEqual(reply.minimum, q((amount * BigInt(10000 - bps)) / 10000n), `minimum ${amount} ${bps}`);
    });
  }
}

const quoter = new Interface([
  'function quoteExactInputSingle((address tokenIn,address tokenOut,uint256 amountIn,uint24 fee,uint160 sqrtPriceLimitX96) params)',
]);
const router = new Interface([
  'function exactInputSingle((address tokenIn,address tokenOut,uint24 fee,address recipient,uint256 amountIn,uint256 amountOutMinimum,uint160 sqrtPriceLimitX96) params) payable returns (uint256)',
  'function multicall(uint256 deadline,bytes[] data) payable returns (bytes[])',
  'function unwrapWETH9(uint256 amountMinimum,address recipient) payable',
]);
expectEqual(quoter.getFunction('quoteExactInputSingle').selector, id('quoteExactInputSingle((address,address,uint256,uint24,uint160))').slice(0, 10), 'quoter selector');

const fees = [100, 500, 3000, 10000];
for (let i = 0; i < 100; i++) {
  const [tokenIn, tokenOut] = [getAddress(hex(20)), getAddress(hex(20))];
  const amountIn = uintUpTo(pick([64, 128, 256]));
  const fee = pick([...fees, int(1 << 24)]);
  ask({ op: 'quoter', tokenIn, tokenOut, amountIn: q(amountIn), fee }, (reply) => {
    const [p] = quoter.decodeFunctionData('quoteExactInputSingle', reply.data);
    expectEqual(p.tokenIn, tokenIn, `quoter tokenIn ${i}`);
    expectEqual(p.tokenOut, tokenOut, `quoter tokenOut ${i}`);
    expectEqual(p.amountIn, amountIn, `quoter amountIn ${i}`);
    expectEqual(Number(p.fee), fee, `quoter fee ${i}`);
    expectEqual(p.sqrtPriceLimitX96, 0n, `quoter limit ${i}`);
    expectEqual(reply.data, quoter.encodeFunctionData('quoteExactInputSingle', [p]), `quoter bytes ${i}`);
  });
}

const ROUTER = '0x68b3465833fb72A70ecDF485E0e4C7bD8665Fc45';
const SELF = '0x0000000000000000000000000000000000000002';
const wrapped = {
  ethereum: '0xC02aaA39b223FE8D0A0e5C4F27eAD9083C756Cc2',
  arbitrum: '0x82aF49447D8a07e3bd95BD0d56f35241523fBab1',
  polygon: '0x0d500B1d8E8eF31E21C99d1Db9A6444d3ADf1270',
};
const nativeSide = { symbol: 'ETH', address: 'native', decimals: 18, isNative: true };
const erc20Side = () => ({ symbol: 'TKN', address: pick([hex(20), hex(20).toUpperCase().replace('0X', '0x')]), decimals: pick([6, 18]), isNative: false });
for (let i = 0; i < 150; i++) {
  const chain = pick(Object.keys(wrapped));
  const shape = i % 3; // 0: native in, 1: native out, 2: token to token
  const tokenIn = shape === 0 ? nativeSide : erc20Side();
  const tokenOut = shape === 1 ? nativeSide : erc20Side();
  const amountIn = uintUpTo(pick([64, 128, 256]));
  const amountOutMinimum = uintUpTo(pick([64, 128, 256]));
  const fee = pick(fees);
  const recipient = getAddress(hex(20));
  const now = int(2 ** 31);
  const side = (t) => (t.isNative ? wrapped[chain] : getAddress(t.address.toLowerCase()));
  ask({ op: 'router', chain, tokenIn, tokenOut, amountIn: q(amountIn), amountOutMinimum: q(amountOutMinimum), fee, recipient, now }, (reply) => {
    expectEqual(getAddress(reply.router), ROUTER, `router ${i}`);
    expectEqual(BigInt(reply.value), shape === 0 ? amountIn : 0n, `value ${i}`);
    let swapCall = reply.data;
    if (shape === 1) {
      const [deadline, calls] = router.decodeFunctionData('multicall', reply.data);
      expectEqual(deadline, BigInt(now + 1200), `deadline ${i}`);
      expectEqual(calls.length, 2, `inner calls ${i}`);
      swapCall = calls[0];
      const [minimum, to] = router.decodeFunctionData('unwrapWETH9', calls[1]);
      expectEqual(minimum, amountOutMinimum, `unwrap minimum ${i}`);
      expectEqual(to, recipient, `unwrap recipient ${i}`);
      expectEqual(reply.data, router.encodeFunctionData('multicall', [deadline, calls]), `multicall bytes ${i}`);
    }
    const [p] = router.decodeFunctionData('exactInputSingle', swapCall);
    expectEqual(p.tokenIn, side(tokenIn), `tokenIn ${i}`);
    expectEqual(p.tokenOut, side(tokenOut), `tokenOut ${i}`);
    expectEqual(Number(p.fee), fee, `fee ${i}`);
    expectEqual(p.recipient, shape === 1 ? SELF : recipient, `recipient ${i}`);
    expectEqual(p.amountIn, amountIn, `amountIn ${i}`);
    expectEqual(p.amountOutMinimum, amountOutMinimum, `amountOutMinimum ${i}`);
    expectEqual(p.sqrtPriceLimitX96, 0n, `limit ${i}`);
    expectEqual(swapCall, router.encodeFunctionData('exactInputSingle', [p]), `swap bytes ${i}`);
  });
}

finish();
