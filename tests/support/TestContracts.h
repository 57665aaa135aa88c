#pragma once
// The Solidity contracts of tests/peers/contracts, compiled by solc (npm) through
// tests/peers/compile_contracts.mjs once per test process. Contracts there have no constructor
// state, so their runtime code can be placed anywhere with anvil_setCode.

#include <map>
#include <string>

namespace qm::test {

class TestContracts {
public:
    // Compiles on first use; throws std::runtime_error when node or solc fails.
    static const TestContracts& shared();

    // "0x" hex creation bytecode / runtime bytecode; throws std::out_of_range for an unknown name.
    const std::string& bytecode(const std::string& contract) const;
    const std::string& deployedBytecode(const std::string& contract) const;

private:
    struct Code {
        std::string bytecode;
        std::string deployedBytecode;
    };
    std::map<std::string, Code> m_contracts;
};

} // namespace qm::test
