#include "services/evm/ERC20.h"

#include "core/crypto/Keccak.h"
#include "platform/Error.h"
#include "services/network/UTF8.h"

#include <algorithm>

namespace qm {
namespace {

constexpr std::size_t wordSize = 32;

// The low-order 8 bytes of the 32-byte word at `offset`, big-endian.
std::uint64_t lowWord64(ByteView data, std::size_t offset) {
    std::uint64_t value = 0;
    for (std::size_t i = offset + 24; i < offset + wordSize; ++i) {
        value = value << 8 | data[i];
    }
    return value;
}

void appendAddressWord(Bytes& out, ByteView address) {
    if (address.size() != 20) {
        fatalError("ERC-20 call data: address must be 20 bytes");
    }
    out.insert(out.end(), 12, 0);
    out.insert(out.end(), address.begin(), address.end());
}

Bytes selectorAndAmountCall(const Bytes& selector, ByteView address, const UInt256& amount) {
    Bytes out = selector;
    appendAddressWord(out, address);
    const Bytes word = amount.bigEndianWord();
    out.insert(out.end(), word.begin(), word.end());
    return out;
}

std::optional<std::string> dynamicString(ByteView data) {
    const std::size_t n = data.size();
    const std::uint64_t offset = lowWord64(data, 0);
    if (offset > n - wordSize) {
        return std::nullopt;
    }
    const std::uint64_t length = lowWord64(data, offset);
    if (length < 1 || length > 255 || length > n - wordSize - offset) {
        return std::nullopt;
    }
    auto text = utf8Text(data.subspan(offset + wordSize, length));
    if (!text || text->empty()) {
        return std::nullopt;
    }
    return text;
}

std::optional<std::string> fixedString(ByteView data) {
    if (data[0] == 0) {
        return std::nullopt;
    }
    std::size_t end = 0;
    while (end < wordSize && data[end] != 0) {
        ++end;
    }
    return utf8Text(data.first(end));
}

} // namespace

Bytes functionSelector(std::string_view signature) {
    Bytes hash = keccak256(utf8View(signature));
    hash.resize(4);
    return hash;
}

const Bytes& balanceOfSelector() {
    static const Bytes selector = functionSelector("balanceOf(address)");
    return selector;
}

const Bytes& transferSelector() {
    static const Bytes selector = functionSelector("transfer(address,uint256)");
    return selector;
}

const Bytes& approveSelector() {
    static const Bytes selector = functionSelector("approve(address,uint256)");
    return selector;
}

const Bytes& allowanceSelector() {
    static const Bytes selector = functionSelector("allowance(address,address)");
    return selector;
}

const Bytes& nameSelector() {
    static const Bytes selector = functionSelector("name()");
    return selector;
}

const Bytes& symbolSelector() {
    static const Bytes selector = functionSelector("symbol()");
    return selector;
}

const Bytes& decimalsSelector() {
    static const Bytes selector = functionSelector("decimals()");
    return selector;
}

Bytes erc20TransferCalldata(ByteView to, const UInt256& amount) {
    return selectorAndAmountCall(transferSelector(), to, amount);
}

Bytes erc20ApproveCalldata(ByteView spender, const UInt256& amount) {
    return selectorAndAmountCall(approveSelector(), spender, amount);
}

Bytes erc20AllowanceCalldata(ByteView owner, ByteView spender) {
    Bytes out = allowanceSelector();
    appendAddressWord(out, owner);
    appendAddressWord(out, spender);
    return out;
}

std::optional<std::string> decodeABIString(ByteView data) {
    if (data.size() < wordSize) {
        return std::nullopt;
    }
    if (data.size() >= 2 * wordSize) {
        if (auto text = dynamicString(data)) {
            return text;
        }
    }
    return fixedString(data);
}

std::optional<ERC20Call> decodeERC20Call(ByteView data) {
    if (data.size() != 4 + 2 * wordSize) {
        return std::nullopt;
    }
    const Bytes selector(data.begin(), data.begin() + 4);
    ERC20Call call;
    if (selector == transferSelector()) {
        call.kind = ERC20Call::Kind::transfer;
    } else if (selector == approveSelector()) {
        call.kind = ERC20Call::Kind::approve;
    } else {
        return std::nullopt;
    }
    const ByteView address = data.subspan(4, wordSize);
    if (std::any_of(address.begin(), address.begin() + 12, [](std::uint8_t b) { return b != 0; })) {
        return std::nullopt;
    }
    call.party.assign(address.begin() + 12, address.end());
    call.amount = UInt256::fromBigEndianBytes(data.subspan(4 + wordSize, wordSize));
    return call;
}

bool isUnlimitedAllowance(const UInt256& amount) {
    return amount >= UInt256(0x8000000000000000ull, 0, 0, 0);
}

} // namespace qm
