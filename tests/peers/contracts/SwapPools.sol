// SPDX-License-Identifier: MIT
// Tokens and a liquidity helper for the Uniswap V3 tests. The tokens have no constructor or
// initialised storage, so their runtime code can stand at a chain's real token address.
pragma solidity ^0.8.20;

// A complete ERC-20 with a public mint.
abstract contract MintableToken {
    event Transfer(address indexed from, address indexed to, uint256 value);
    event Approval(address indexed owner, address indexed spender, uint256 value);

    mapping(address => uint256) public balanceOf;
    mapping(address => mapping(address => uint256)) public allowance;

    function decimals() external pure virtual returns (uint8);

    function mint(address to, uint256 amount) external {
        balanceOf[to] += amount;
        emit Transfer(address(0), to, amount);
    }

    function approve(address spender, uint256 amount) external virtual returns (bool) {
        allowance[msg.sender][spender] = amount;
        emit Approval(msg.sender, spender, amount);
        return true;
    }

    function transfer(address to, uint256 amount) external returns (bool) {
        move(msg.sender, to, amount);
        return true;
    }

    function transferFrom(address from, address to, uint256 amount) external returns (bool) {
        uint256 allowed = allowance[from][msg.sender];
        require(allowed >= amount, "allowance too small");
        if (allowed != type(uint256).max) allowance[from][msg.sender] = allowed - amount;
        move(from, to, amount);
        return true;
    }

    // Runs before every transfer; tokens that make transfers dearer override it.
    function beforeMove() internal virtual {}

    function move(address from, address to, uint256 amount) private {
        beforeMove();
        require(balanceOf[from] >= amount, "insufficient balance");
        balanceOf[from] -= amount;
        balanceOf[to] += amount;
        emit Transfer(from, to, amount);
    }
}

contract TestUSDC is MintableToken {
    function name() external pure returns (string memory) { return "USD Coin"; }
    function symbol() external pure returns (string memory) { return "USDC"; }
    function decimals() external pure override returns (uint8) { return 6; }
}

// USDC whose approvals revert once breakApprovals() has run: an approval accepted by the node
// that fails when mined.
contract BreakableUSDC is MintableToken {
    bool public broken;

    function breakApprovals() external { broken = true; }

    function approve(address spender, uint256 amount) external override returns (bool) {
        require(!broken, "approvals are off");
        allowance[msg.sender][spender] = amount;
        emit Approval(msg.sender, spender, amount);
        return true;
    }

    function name() external pure returns (string memory) { return "USD Coin"; }
    function symbol() external pure returns (string memory) { return "USDC"; }
    function decimals() external pure override returns (uint8) { return 6; }
}

// USDC whose transfers can be made to cost far more gas (each writes `weight` fresh storage
// slots, about 22,000 gas apiece): a swap paying it needs more than a swap's usual gas, which
// shows only once its approval is in a block.
contract HeavyUSDC is MintableToken {
    uint256 public weight;
    uint256 private written;
    mapping(uint256 => uint256) private ballast;

    function setWeight(uint256 slots) external { weight = slots; }

    function beforeMove() internal override {
        for (uint256 i = 0; i < weight; ++i) ballast[written++] = 1;
    }

    function name() external pure returns (string memory) { return "USD Coin"; }
    function symbol() external pure returns (string memory) { return "USDC"; }
    function decimals() external pure override returns (uint8) { return 6; }
}

contract TestDAI is MintableToken {
    function name() external pure returns (string memory) { return "Dai Stablecoin"; }
    function symbol() external pure returns (string memory) { return "DAI"; }
    function decimals() external pure override returns (uint8) { return 18; }
}

contract TestGold is MintableToken {
    function name() external pure returns (string memory) { return "Gold"; }
    function symbol() external pure returns (string memory) { return "GLD"; }
    function decimals() external pure override returns (uint8) { return 18; }
}

contract TestMicro is MintableToken {
    function name() external pure returns (string memory) { return "Micro"; }
    function symbol() external pure returns (string memory) { return "MCR"; }
    function decimals() external pure override returns (uint8) { return 24; }
}

interface IFactory {
    function getPool(address, address, uint24) external view returns (address);
    function createPool(address, address, uint24) external returns (address);
    function feeAmountTickSpacing(uint24) external view returns (int24);
}

interface IPool {
    function slot0() external view returns (uint160, int24, uint16, uint16, uint16, uint8, bool);
    function initialize(uint160 sqrtPriceX96) external;
    function mint(address recipient, int24 tickLower, int24 tickUpper, uint128 amount, bytes calldata data)
        external returns (uint256, uint256);
}

interface IWETH {
    function deposit() external payable;
    function transfer(address, uint256) external returns (bool);
}

// Creates a pool when needed, prices it at amountB / amountA and adds full-range liquidity of
// about those amounts. Test tokens are minted to the pool as it asks; wrapped ether is paid
// from the ether sent with the call.
contract PoolSeeder {
    address private weth;

    function seed(address factory, address wrapped, address tokenA, address tokenB, uint24 fee,
                  uint256 amountA, uint256 amountB) external payable returns (address pool) {
        weth = wrapped;
        (address token0, address token1, uint256 amount0, uint256 amount1) =
            tokenA < tokenB ? (tokenA, tokenB, amountA, amountB) : (tokenB, tokenA, amountB, amountA);
        pool = IFactory(factory).getPool(token0, token1, fee);
        if (pool == address(0)) pool = IFactory(factory).createPool(token0, token1, fee);
        (uint160 current,,,,,,) = IPool(pool).slot0();
        if (current == 0) {
            IPool(pool).initialize(uint160(sqrt(amount1 << 96) * (1 << 48) / sqrt(amount0)));
        }
        int24 spacing = IFactory(factory).feeAmountTickSpacing(fee);
        int24 upper = 887272 / spacing * spacing;
        IPool(pool).mint(address(this), -upper, upper, uint128(sqrt(amount0 * amount1)), "");
    }

    function uniswapV3MintCallback(uint256 owed0, uint256 owed1, bytes calldata) external {
        (bool ok, bytes memory data) = msg.sender.staticcall(abi.encodeWithSignature("token0()"));
        require(ok);
        pay(abi.decode(data, (address)), owed0);
        (ok, data) = msg.sender.staticcall(abi.encodeWithSignature("token1()"));
        require(ok);
        pay(abi.decode(data, (address)), owed1);
    }

    function pay(address token, uint256 amount) private {
        if (amount == 0) return;
        if (token == weth) {
            IWETH(weth).deposit{value: amount}();
            IWETH(weth).transfer(msg.sender, amount);
        } else {
            MintableToken(token).mint(msg.sender, amount);
        }
    }

    function sqrt(uint256 x) private pure returns (uint256 y) {
        if (x == 0) return 0;
        uint256 z = (x + 1) / 2;
        y = x;
        while (z < y) {
            y = z;
            z = (x / z + z) / 2;
        }
    }
}
