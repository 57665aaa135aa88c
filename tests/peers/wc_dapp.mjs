// The dApp side of WalletConnect for the peers: @walletconnect/sign-client over the loopback
// relay, with storage in memory and no way to the internet.
import { Core } from '@walletconnect/core';
import { SignClient } from '@walletconnect/sign-client';

// Nothing here may reach the internet: a fetch to anywhere but loopback fails.
export function loopbackOnlyFetch() {
  const loopbackFetch = globalThis.fetch;
  globalThis.fetch = async (input, init) => {
    const url = new URL(input?.url ?? input);
    if (url.hostname !== '127.0.0.1') throw new Error(`no network in tests: ${url.origin}`);
    return loopbackFetch(input, init);
  };
}

export const memoryStorage = () => {
  const items = new Map();
  return {
    getKeys: async () => [...items.keys()],
    getEntries: async () => [...items.entries()],
    getItem: async (key) => items.get(key),
    setItem: async (key, value) => void items.set(key, value),
    removeItem: async (key) => void items.delete(key),
  };
};

export async function startCore(relayUrl, projectId) {
  const core = new Core({ projectId, relayUrl, storage: memoryStorage(), logger: 'error', telemetryEnabled: false });
  await core.start();
  return core;
}

export async function startDapp(core, name = 'Peer dApp') {
  return SignClient.init({
    core,
    logger: 'error',
    metadata: { name, description: 'test', url: 'http://127.0.0.1', icons: [] },
  });
}

export const withTimeout = (promise, ms, what) =>
  Promise.race([promise, new Promise((_, reject) => setTimeout(() => reject(new Error(`${what} timed out`)), ms))]);
