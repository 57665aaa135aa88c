// SPDX-License-Identifier: MIT
// A stand-in for the NOVR sale on Arbitrum One: the NOVR token (18 decimals) and a bonding-curve
// sale contract with the wallet's ABI, beside the swap tests' USDC. None has a constructor or
// initialised storage: each runs with its runtime code placed at the wallet's address for it.
pragma solidity ^0.8.20;

import "SwapPools.sol";

// USDC is the swap tests' TestUSDC (6 decimals); NOVR is another of their mintable tokens.
contract NovaCrestToken is MintableToken {
    function name() external pure returns (string memory) { return "Nova Crest"; }
    function symbol() external pure returns (string memory) { return "NOVR"; }
    function decimals() external pure override returns (uint8) { return 18; }
}

// The price of one whole NOVR starts at 1 USDC and rises by 0.01 USDC per whole NOVR sold; a
// buy pays the area under that line, rounded up to a USDC base unit. A sale pays the floor
// price. The knobs below let a test move the price, break floorPrice() or force a cost.
contract NOVRSaleDouble {
    address constant USDC = 0xaf88d065e77c8cC2239327C5EDb3A432268e5831;
    address constant NOVR = 0xc59eD24C44522bbB007ACB205001CA74eA5Df298;
    uint256 constant START_PRICE = 1_000_000;
    uint256 constant SLOPE = 10_000;
    uint256 constant FLOOR = 1_234_567;
    uint256 constant ONE = 1e18;

    uint256 public sold;
    uint256 public markupBps;    // every buy costs this much more
    uint256 public costOverride; // when not 0, the cost of any buy
    uint8 public floorMode;      // 0 answers, 1 answers 31 bytes, 2 reverts

    function setMarkup(uint256 bps) external { markupBps = bps; }
    function setCostOverride(uint256 cost) external { costOverride = cost; }
    function setFloorMode(uint8 mode) external { floorMode = mode; }

    function estimateBuyCost(uint256 amount) public view returns (uint256) {
        if (costOverride != 0) return costOverride;
        uint256 area = START_PRICE * amount + SLOPE * ((2 * sold + amount) * amount / 2 / ONE);
        uint256 cost = (area + ONE - 1) / ONE;
        return cost * (10_000 + markupBps) / 10_000;
    }

    function floorPrice() external view returns (uint256) {
        if (floorMode == 1) {
            assembly {
                mstore(0x00, 1234567)
                return(0x01, 31)
            }
        }
        require(floorMode != 2, "floor price unavailable");
        return FLOOR;
    }

    function buy(uint256 amount, uint256 maxCost) external {
        require(amount > 0, "nothing to buy");
        uint256 cost = estimateBuyCost(amount);
        require(cost <= maxCost, "cost above maximum");
        sold += amount;
        MintableToken(USDC).transferFrom(msg.sender, address(this), cost);
        MintableToken(NOVR).mint(msg.sender, amount);
    }

    function sell(uint256 amount) external {
        require(amount > 0, "nothing to sell");
        MintableToken(NOVR).transferFrom(msg.sender, address(this), amount);
        sold = amount > sold ? 0 : sold - amount;
        MintableToken(USDC).transfer(msg.sender, amount * FLOOR / ONE);
    }
}
