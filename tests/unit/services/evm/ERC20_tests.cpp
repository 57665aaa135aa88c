// Transfers move real balances in EVMAnvil_tests, a minted token is discovered on a real node
// in FullRefresh_tests, and decodeABIString is fuzzed for reads outside its input.
#include "HttpFixture.h"
#include "RunTask.h"
#include "TestHex.h"
#include "services/evm/ERC20.h"
#include "services/evm/ERC20Resolver.h"
#include "services/evm/JSONRPCClient.h"
#include "services/evm/TokenDiscovery.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

namespace qm {
namespace {

using test::hex;
using test::HttpFixtureResponse;
using test::runTask;
using json = nlohmann::json;

const std::string name = "0x06fdde03", symbol = "0x95d89b41", decimals = "0x313ce567";
const std::string owner = "0x9965507D1a55bcC2695C58ba16FB37d819B0A4dc";
const std::string transferTopic =
    "0xddf252ad1be2c89b69c2b068fc378daa952ba7f163c4a11628f55a4df523b3ef";

Bytes word(std::uint64_t value) {
    return UInt256(0, 0, 0, value).bigEndianWord();
}

std::string hexWord(std::uint64_t value) {
    return hex(word(value));
}

Bytes padded(std::string_view text, std::size_t size) {
    Bytes out(text.begin(), text.end());
    out.resize(size, 0);
    return out;
}

Bytes join(std::initializer_list<Bytes> chunks) {
    Bytes out;
    for (const auto& chunk : chunks) {
        out.insert(out.end(), chunk.begin(), chunk.end());
    }
    return out;
}

Bytes abiString(std::string_view text) {
    return join({word(32), word(text.size()), padded(text, (text.size() + 31) / 32 * 32)});
}

std::string lower(std::string text) {
    std::ranges::transform(text, text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string failure(QCoro::Task<Token> task) {
    try {
        runTask(std::move(task));
    } catch (const ERC20ResolverError& error) {
        return "unresolved " + std::to_string(static_cast<int>(error.kind()));
    } catch (const JSONRPCClientError& error) {
        return error.what();
    }
    return "resolved";
}

std::string unresolved(ERC20ResolverError::Kind kind) {
    return "unresolved " + std::to_string(static_cast<int>(kind));
}

struct TemporaryStore {
    QTemporaryDir directory;
    TokenStore store{directory.filePath("tokens.json").toStdString()};
};

// A node answering from these members (a null block or log list: an error), counting calls.
struct ScriptedChain {
    std::map<std::string, std::string> balances; // lowercased contract -> balanceOf result
    std::string resolvable; // the only contract (lowercased) that answers `reads`
    const HttpFixtureResponse abc =
        HttpFixtureResponse::jsonRPCResult("0x" + hex(abiString("ABC")));
    std::map<std::string, HttpFixtureResponse> reads = {
        {name, abc},
        {symbol, abc},
        {decimals, HttpFixtureResponse::jsonRPCResult("0x" + hexWord(9))}};
    json latestBlock = json{{"number", "0x0"}};
    json logs = json::array();
    json lastLogFilter;
    std::map<std::string, int> asked; // by method
    test::HttpFixture server;
    std::shared_ptr<JSONRPCClient> client = std::make_shared<JSONRPCClient>(server.url());

    ScriptedChain() {
        server.setHandler([this](const test::HttpFixtureRequest& request) {
            return answer(json::parse(request.body.toStdString()));
        });
    }

    HttpFixtureResponse answer(const json& body) {
        const std::string method = body["method"];
        ++asked[method];
        const auto error = HttpFixtureResponse::json(
            R"({"jsonrpc":"2.0","id":1,"error":{"code":3,"message":"execution reverted"}})");
        if (method != "eth_call") {
            if (method == "eth_getLogs") {
                lastLogFilter = body["params"];
            }
            const json& value = method == "eth_getLogs" ? logs : latestBlock;
            return value.is_null() ? error : HttpFixtureResponse::jsonRPCResult(value);
        }
        const std::string to = lower(body["params"][0]["to"]);
        const std::string data = body["params"][0]["data"];
        if (data.starts_with("0x70a08231")) {
            return HttpFixtureResponse::jsonRPCResult(balances.contains(to) ? balances[to]
                                                                            : "0x" + hexWord(0));
        }
        return to == resolvable ? reads.at(data) : error;
    }
};

TEST(ERC20, DecodeABIString) {
    Bytes upper = abiString("DAI"); // only the low 8 bytes of offset and length count
    upper[0] = upper[32] = 0xff;
    const std::pair<Bytes, std::optional<std::string>> rows[] = {
        {abiString(std::string(255, 'x')), std::string(255, 'x')},
        {upper, "DAI"},
        {join({word(64), word(0), word(2), padded("OK", 32)}), "OK"}, // offset to a later word
        {join({abiString("ABC"), word(7)}), "ABC"},                   // trailing bytes
        {join({word(32), word(32), padded(std::string(32, 'q'), 32)}), std::string(32, 'q')},
        // The fixed form: up to the first zero of the first 32 bytes, also as a fallback.
        {padded("AB\0CD", 32), "AB"},
        {padded("SAI", 40), "SAI"},
        {join({padded("Maker", 32), padded("x", 32)}), "Maker"},
        {join({padded("HI", 32), word(5)}), "HI"},
        {{}, std::nullopt},
        {padded("SHORT", 31), std::nullopt},
        {padded("\xff\xfe", 32), std::nullopt},
        {abiString(""), std::nullopt},
        {abiString(std::string(256, 'x')), std::nullopt},
        {abiString("\xc3\x28"), std::nullopt},
        // Offsets and lengths whose sums wrap around 2^64, or that run past the end.
        {join({word(0xffffffffffffffe0ull), padded("ABCD", 32)}), std::nullopt},
        {join({word(32), word(~0ull), padded("ABCD", 32)}), std::nullopt},
        {join({word(32), word(0xffffffffffffffc1ull), padded("A", 32)}), std::nullopt},
        {join({word(32), word(33), padded("A", 32)}), std::nullopt},
    };
    for (const auto& [input, expected] : rows) {
        EXPECT_EQ(decodeABIString(input), expected) << hex(input);
    }
}

TEST(ERC20, TransferAndApproveAreNamedOnlyWhenExactlyWritten) {
    const Bytes spender = test::unhex("7a250d5630b4cf539739df2c5dacb4c659f2488d");
    const UInt256 max(~0ull, ~0ull, ~0ull, ~0ull);
    const auto approve = decodeERC20Call(erc20ApproveCalldata(spender, max));
    ASSERT_TRUE(approve);
    EXPECT_EQ(approve->kind, ERC20Call::Kind::approve);
    EXPECT_EQ(approve->party, spender);
    EXPECT_EQ(approve->amount, max);
    const auto transfer = decodeERC20Call(test::unhex("a9059cbb" + std::string(24, '0') +
                                                      "7a250d5630b4cf539739df2c5dacb4c659f2488d" +
                                                      std::string(60, '0') + "3039"));
    ASSERT_TRUE(transfer);
    EXPECT_EQ(transfer->kind, ERC20Call::Kind::transfer);
    EXPECT_EQ(transfer->amount, UInt256(0, 0, 0, 12345));

    const Bytes call = erc20TransferCalldata(spender, UInt256(0, 0, 0, 1));
    Bytes dirty = call; // an address word with bits above its 20 bytes
    dirty[4] = 1;
    Bytes longer = call;
    longer.push_back(0);
    const Bytes shorter(call.begin(), call.end() - 1);
    const Bytes other = erc20AllowanceCalldata(spender, spender);
    for (const Bytes& raw : {dirty, longer, shorter, other, Bytes{}}) {
        EXPECT_FALSE(decodeERC20Call(raw)) << hex(raw);
    }

    // Unlimited from 2^255 on.
    EXPECT_TRUE(isUnlimitedAllowance(max));
    EXPECT_TRUE(isUnlimitedAllowance(UInt256(1ull << 63, 0, 0, 0)));
    EXPECT_FALSE(isUnlimitedAllowance(UInt256((1ull << 63) - 1, ~0ull, ~0ull, ~0ull)));
    EXPECT_FALSE(isUnlimitedAllowance(UInt256(0, 0, 0, 1'000'000)));
}

TEST(ERC20Resolver, DecimalsPrecedenceAndFailedReads) {
    ScriptedChain node;
    const std::string address = "0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB48";
    node.resolvable = lower(address);
    auto resolve = [&] { return ERC20Resolver::resolve(address, Chain::ethereum, node.client); };
    auto set = [&](const std::string& selector, const std::string& result) {
        node.reads[selector] = HttpFixtureResponse::jsonRPCResult(result);
    };
    set(name, "0x" + hex(abiString("USD Coin")));
    set(symbol, "0x" + hex(abiString("USDC")));
    // Only the low 8 bytes of the first decimals word count; later bytes are ignored.
    set(decimals, "0x" + std::string(48, 'f') + hexWord(6).substr(48) + hexWord(99));
    EXPECT_EQ(runTask(resolve()), (Token{address, "USDC", "USD Coin", 6, Chain::ethereum}));
    set(decimals, "0x" + hexWord(77));
    EXPECT_EQ(runTask(resolve()).decimals, 77);
    for (const std::string& bad : {"0x" + hexWord(78), std::string("0x")}) {
        set(decimals, bad);
        EXPECT_EQ(failure(resolve()), unresolved(ERC20ResolverError::Kind::cannotReadDecimals));
    }
    // Name before symbol before decimals.
    set(symbol, "0x");
    EXPECT_EQ(failure(resolve()), unresolved(ERC20ResolverError::Kind::cannotReadSymbol));
    set(name, "0x" + std::string(64, '0'));
    EXPECT_EQ(failure(resolve()), unresolved(ERC20ResolverError::Kind::cannotReadName));

    // The name's error, though symbol succeeded and decimals failed too; all three went out.
    node.reads[name] = HttpFixtureResponse::withStatus(500);
    node.reads[decimals] = HttpFixtureResponse::withStatus(502);
    node.asked.clear();
    EXPECT_EQ(failure(resolve()), "JSONRPCClient: HTTP error 500");
    EXPECT_EQ(node.asked["eth_call"], 3);
}

TEST(TokenDiscovery, KnownTokensNeedANonZeroBalance) {
    ScriptedChain node;
    TemporaryStore temporary;
    const auto& known = knownTokensByChain().at(Chain::ethereum);
    node.balances = {
        {lower(known[0].contractAddress), "0x"},                           // USDC: no bytes
        {lower(known[1].contractAddress), "0x" + hexWord(5).substr(2)},    // USDT: 31 bytes
        {lower(known[2].contractAddress), "0x" + hexWord(7) + hexWord(0)}, // DAI: 64 bytes
        {lower(known[3].contractAddress), "0x01" + std::string(62, '0')},  // WETH: high bits
        {lower(known[4].contractAddress), "0xzz"},                         // WBTC: not hex
    };
    EXPECT_EQ(runTask(discoverTokens(owner, Chain::ethereum, node.client, temporary.store)), 2);
    EXPECT_EQ(temporary.store.tokens(Chain::ethereum),
              (std::vector<Token>{
                  {known[2].contractAddress, "DAI", "Dai Stablecoin", 18, Chain::ethereum},
                  {known[3].contractAddress, "WETH", "Wrapped Ether", 18, Chain::ethereum}}));
    EXPECT_EQ(node.asked["eth_call"], 8);    // one balanceOf per known token
    EXPECT_EQ(node.asked["eth_getLogs"], 0); // block 0: no log scan

    // A second run asks only for tokens not stored yet, whatever the stored letter case.
    ASSERT_EQ(temporary.store.add(
                  Token{lower(known[0].contractAddress), "USDC", "USD Coin", 6, Chain::ethereum}),
              TokenStore::AddResult::added);
    EXPECT_EQ(runTask(discoverTokens(owner, Chain::ethereum, node.client, temporary.store)), 0);
    EXPECT_EQ(node.asked["eth_call"], 8 + 5);
}

TEST(TokenDiscovery, ReceivedContractsFromTheLogWindow) {
    ScriptedChain node;
    // No usable block or failed logs: no contracts (and no log request without a block).
    for (const json& block : {json{{"number", "0x0"}}, json{{"number", "0xnope"}}, json()}) {
        node.latestBlock = block;
        EXPECT_TRUE(runTask(node.client->incomingTransferContracts(owner)).empty());
        EXPECT_EQ(node.asked["eth_getLogs"], 0) << block.dump();
    }
    node.latestBlock = json{{"number", "0xf4240"}};
    node.logs = nullptr;
    EXPECT_TRUE(runTask(node.client->incomingTransferContracts(owner)).empty());
    const std::string dai = knownTokensByChain().at(Chain::arbitrum)[3].contractAddress;
    node.logs = json::array({
        {{"address", "0xAbCdEf0000000000000000000000000000000001"}, {"data", "0x"}},
        {{"address", "0xabcdef0000000000000000000000000000000001"}},
        {{"topics", json::array({transferTopic})}},
        {{"address", "DEF0000000000000000000000000000000000002"}},
        {{"address", dai}},
    });
    EXPECT_EQ(
        runTask(node.client->incomingTransferContracts("9965507D1A55BCC2695C58BA16FB37D819B0A4DC")),
        (std::vector<std::string>{"0xabcdef0000000000000000000000000000000001",
                                  "0xdef0000000000000000000000000000000000002", lower(dai)}));
    // The owner topic ignores letter case and the prefix; the window is 50,000 blocks.
    EXPECT_EQ(
        node.lastLogFilter,
        json::array(
            {{{"fromBlock", "0xe7ef0"},
              {"toBlock", "latest"},
              {"topics", json::array({transferTopic, nullptr,
                                      "0x" + std::string(24, '0') + lower(owner.substr(2))})}}}));

    // DAI comes in through its balance and is not resolved again; 0xdef... does not resolve.
    node.balances[lower(dai)] = "0x" + hexWord(1);
    node.resolvable = "0xabcdef0000000000000000000000000000000001";
    TemporaryStore temporary;
    node.asked.clear();
    EXPECT_EQ(runTask(discoverTokens(owner, Chain::arbitrum, node.client, temporary.store)), 2);
    EXPECT_EQ(temporary.store.tokens(Chain::arbitrum),
              (std::vector<Token>{{dai, "DAI", "Dai Stablecoin", 18, Chain::arbitrum},
                                  {"0xabcdef0000000000000000000000000000000001", "ABC", "ABC", 9,
                                   Chain::arbitrum}}));
    EXPECT_EQ(node.asked["eth_call"], std::ssize(knownTokensByChain().at(Chain::arbitrum)) + 6);
}

} // namespace
} // namespace qm
