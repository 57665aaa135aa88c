// node compile_contracts.mjs <out.json>: every contracts/*.sol through solc, written atomically
// as {"<Contract>": {"bytecode", "deployedBytecode"}}.
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import solc from 'solc';

const out = process.argv[2];
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
    // Runs on every hardfork anvil offers, london included.
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
