// Compiles every tests/peers/contracts/*.sol with solc (the npm JS build) and writes one JSON
// object {"<Contract>": {"bytecode": "0x..", "deployedBytecode": "0x.."}, ...} to the path
// given as the first argument (atomically: a temporary file, then a rename).
// Usage: node compile_contracts.mjs <out.json>
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import solc from 'solc';

const out = process.argv[2];
if (!out) {
  console.error('usage: node compile_contracts.mjs <out.json>');
  process.exit(2);
}
const dir = path.join(path.dirname(fileURLToPath(import.meta.url)), 'contracts');
const sources = {};
for (const file of fs.readdirSync(dir).filter((f) => f.endsWith('.sol')).sort()) {
  sources[file] = { content: fs.readFileSync(path.join(dir, file), 'utf8') };
}
const input = {
  language: 'Solidity',
  sources,
  settings: {
    optimizer: { enabled: true, runs: 200 },
    // London bytecode runs on every hardfork anvil offers, including the fast-mining
    // "--hardfork london --prune-history" node of the log-window tests.
    evmVersion: 'london',
    outputSelection: { '*': { '*': ['evm.bytecode.object', 'evm.deployedBytecode.object'] } },
  },
};
const output = JSON.parse(solc.compile(JSON.stringify(input)));
const errors = (output.errors ?? []).filter((e) => e.severity === 'error');
if (errors.length) {
  for (const e of errors) console.error(e.formattedMessage);
  process.exit(1);
}
const result = {};
for (const file of Object.keys(output.contracts ?? {})) {
  for (const [name, contract] of Object.entries(output.contracts[file])) {
    result[name] = {
      bytecode: '0x' + contract.evm.bytecode.object,
      deployedBytecode: '0x' + contract.evm.deployedBytecode.object,
    };
  }
}
const temporary = `${out}.${process.pid}.tmp`;
fs.writeFileSync(temporary, JSON.stringify(result, null, 1));
fs.renameSync(temporary, out);
