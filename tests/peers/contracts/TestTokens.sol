// SPDX-License-Identifier: MIT
// Token contracts for the EVM tests. None has a constructor or initialised storage, so each
// also works when its runtime code is put at a chosen address with anvil_setCode.
pragma solidity ^0.8.20;

// A plain ERC-20 with a public mint.
contract StandardToken {
    event Transfer(address indexed from, address indexed to, uint256 value);

    mapping(address => uint256) public balanceOf;

    function name() external pure returns (string memory) { return "Test Token"; }
    function symbol() external pure returns (string memory) { return "TST"; }
    function decimals() external pure returns (uint8) { return 6; }

    function mint(address to, uint256 amount) external {
        balanceOf[to] += amount;
        emit Transfer(address(0), to, amount);
    }

    function transfer(address to, uint256 amount) external returns (bool) {
        require(balanceOf[msg.sender] >= amount, "insufficient balance");
        balanceOf[msg.sender] -= amount;
        balanceOf[to] += amount;
        emit Transfer(msg.sender, to, amount);
        return true;
    }
}

// The older form: name and symbol as bytes32 (as MKR does).
contract Bytes32Token {
    function name() external pure returns (bytes32) { return "Maker"; }
    function symbol() external pure returns (bytes32) { return "MKR"; }
    function decimals() external pure returns (uint8) { return 18; }
}

contract EmptyNameToken {
    function name() external pure returns (string memory) { return ""; }
    function symbol() external pure returns (string memory) { return "EMPTY"; }
    function decimals() external pure returns (uint8) { return 18; }
}

contract RevertingDecimalsToken {
    function name() external pure returns (string memory) { return "Broken Decimals"; }
    function symbol() external pure returns (string memory) { return "BRK"; }
    function decimals() external pure returns (uint8) { revert("no decimals"); }
}

// name() answers an offset that wraps a 64-bit "offset + 32"; symbol() a length that wraps
// "offset + 32 + length". A decoder that adds before comparing reads far out of bounds.
contract HostileOffsetToken {
    function name() external pure returns (string memory) {
        assembly {
            mstore(0x00, 0xfffffffffffffff0)
            mstore(0x20, 0x4142434400000000000000000000000000000000000000000000000000000000)
            return(0x00, 0x40)
        }
    }
    function symbol() external pure returns (string memory) {
        assembly {
            mstore(0x00, 0x20)
            mstore(0x20, 0xffffffffffffffff)
            mstore(0x40, 0x4142434400000000000000000000000000000000000000000000000000000000)
            return(0x00, 0x60)
        }
    }
    function decimals() external pure returns (uint8) { return 18; }
}

// Always reverts: eth_call of anything gives the node's "execution reverted" error.
contract Reverter {
    fallback() external { revert("always reverts"); }
}

// Emits ERC-20 Transfer events but is no token: it has no name(), so resolving it fails.
contract TransferEmitter {
    event Transfer(address indexed from, address indexed to, uint256 value);

    function emitTransfer(address from, address to, uint256 value) external {
        emit Transfer(from, to, value);
    }
}

// name() reverts: resolving the token fails with the node's error.
contract RevertingNameToken {
    function name() external pure returns (string memory) { revert("no name"); }
    function symbol() external pure returns (string memory) { return "RVN"; }
    function decimals() external pure returns (uint8) { return 18; }
}
