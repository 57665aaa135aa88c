// The swap aggregator's client against the loopback aggregator of tests/peers, whose orders are
// real transactions built by @solana/web3.js (legacy, and versioned with a lookup table) and
// whose execute request verifies the wallet's signature and runs the transaction in litesvm.
#include "AggregatorFixture.h"
#include "HttpFixture.h"
#include "RunTask.h"
#include "core/crypto/Base58.h"
#include "core/crypto/Ed25519.h"
#include "core/encoding/Base64.h"
#include "platform/Crypto.h"
#include "services/solana/SolanaRPCClient.h"
#include "services/swap/AggregatorClient.h"
#include "services/swap/AggregatorTransaction.h"
#include "services/swap/EVMSwapTokens.h"
#include "services/swap/SwapError.h"

#include <QProcessEnvironment>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace qm {
namespace {

using nlohmann::json;
using test::AggregatorFixture;
using test::runTask;

const std::string usdc = AggregatorFixture::usdcMint;
constexpr const char* apiKey = "test-key-1";

// A wallet's Solana key on the fixture's runtime.
struct Taker {
    explicit Taker(std::uint8_t seed) : key(Bytes(32, seed)) {}
    SecureBytes key;
    Bytes publicKey() const { return crypto::ed25519PublicKey(key); }
    std::string address() const { return base58Encode(publicKey()); }
};

class AggregatorClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (QStandardPaths::findExecutable("node").isEmpty()) {
            return;
        }
        fixture = new AggregatorFixture(apiKey);
    }
    static void TearDownTestSuite() {
        delete fixture;
        fixture = nullptr;
    }
    void SetUp() override {
        if (!fixture || !fixture->isRunning()) {
            GTEST_SKIP() << "node or the test peers are not installed (scripts/install-deps)";
        }
        fixture->script(json::object());
        client = std::make_unique<AggregatorClient>(
            AggregatorEndpoint{fixture->aggregatorURL().toString().toStdString(), apiKey});
        rpc = std::make_unique<SolanaRPCClient>(fixture->rpcURL());
    }

    SolanaSwapQuote order(const std::string& in, const std::string& out, std::uint64_t amount,
                          const Taker& taker, std::int64_t slippage = 50) {
        return runTask(client->aggregatorOrder(in, out, amount, slippage, taker.address()));
    }

    // The order's transaction with the taker's signature in place; checks that nothing else
    // changed.
    Bytes sign(const SolanaSwapQuote& quote, const Taker& taker) {
        const Bytes unsigned_ = base64Decode(quote.transactionBase64.value()).value();
        const AggregatorTransaction parsed =
            AggregatorTransaction::parse(unsigned_, taker.publicKey());
        const Bytes signature = ed25519Sign(parsed.message(), taker.key);
        Bytes signed_ = parsed.withTakerSignature(signature);
        EXPECT_EQ(signed_.size(), unsigned_.size());
        for (std::size_t i = 0; i < signed_.size(); ++i) {
            if (i < 1 || i > 64) {
                EXPECT_EQ(signed_[i], unsigned_[i]) << "byte " << i << " changed";
            }
        }
        return signed_;
    }

    std::uint64_t lamports(const Taker& taker) { return runTask(rpc->getBalance(taker.address())); }
    std::uint64_t usdcHeld(const Taker& taker) {
        std::uint64_t total = 0;
        for (const SPLTokenAccountInfo& account :
             runTask(rpc->getTokenAccountsByOwner(taker.address()))) {
            if (account.mint == usdc) {
                total += std::stoull(account.amount);
            }
        }
        return total;
    }

    // The text of the SwapError an order throws.
    std::string orderFailure(const std::string& in, const std::string& out, std::uint64_t amount,
                             const Taker& taker) {
        try {
            order(in, out, amount, taker);
        } catch (const SwapError& error) {
            return error.what();
        }
        return "no failure";
    }
    std::string executeFailure(const std::string& transaction, const std::string& requestId) {
        try {
            runTask(client->executeAggregatorSwap(transaction, requestId));
        } catch (const SwapError& error) {
            return error.what();
        }
        return "no failure";
    }

    static inline AggregatorFixture* fixture = nullptr;
    std::unique_ptr<AggregatorClient> client;
    std::unique_ptr<SolanaRPCClient> rpc;
};

TEST_F(AggregatorClientTest, ALegacyOrderIsSignedAndExecutedAndMovesTheBalances) {
    const Taker taker(1);
    fixture->airdrop(taker.address(), 10'000'000'000);
    const std::uint64_t solBefore = lamports(taker);

    const SolanaSwapQuote quote = order(wrappedSOLMint, usdc, 1'000'000'000, taker);
    EXPECT_EQ(quote.inputMint, wrappedSOLMint);
    EXPECT_EQ(quote.outputMint, usdc);
    EXPECT_EQ(quote.inAmount, 1'000'000'000u);
    EXPECT_EQ(quote.outAmount, 150'000'000u);
    // The order states its own minimum: that is the one shown.
    EXPECT_TRUE(quote.minimumIsStated);
    EXPECT_EQ(quote.outAmountMinimum, 149'250'000u);
    EXPECT_EQ(quote.priceImpactPct, 0.0123);
    EXPECT_EQ(quote.routePlan, "Jupiter Ultra");
    EXPECT_TRUE(quote.requestId.has_value());
    EXPECT_EQ(json::parse(quote.rawQuoteJSON).at("requestId"), *quote.requestId);

    // The request: the four query members, decoded as sent, no slippage, the API key.
    const json request = fixture->requests().back();
    EXPECT_EQ(request.at("method"), "GET");
    EXPECT_EQ(request.at("path"), "/ultra/v1/order");
    EXPECT_EQ(request.at("query"), (json{{"inputMint", wrappedSOLMint},
                                         {"outputMint", usdc},
                                         {"amount", "1000000000"},
                                         {"taker", taker.address()}}));
    EXPECT_EQ(request.at("apiKey"), apiKey);

    // Two slots: the pool has signed the second; the wallet signs the first.
    const Bytes signed_ = sign(quote, taker);
    EXPECT_EQ(signed_[0], 2);
    const AggregatorExecution executed =
        runTask(client->executeAggregatorSwap(base64Encode(signed_), *quote.requestId));
    EXPECT_EQ(executed.status, "Success");
    EXPECT_EQ(executed.signature, base58Encode(ByteView(signed_).subspan(1, 64)));
    const json execute = fixture->requests().back();
    EXPECT_EQ(execute.at("method"), "POST");
    EXPECT_EQ(execute.at("path"), "/ultra/v1/execute");
    EXPECT_EQ(execute.at("apiKey"), apiKey);
    EXPECT_EQ(
        json::parse(execute.at("body").get<std::string>()),
        (json{{"signedTransaction", base64Encode(signed_)}, {"requestId", *quote.requestId}}));

    // 1 SOL and two signatures' fees out, 150 USDC in.
    EXPECT_EQ(lamports(taker), solBefore - 1'000'000'000 - 2 * 5000);
    EXPECT_EQ(usdcHeld(taker), 150'000'000u);
}

TEST_F(AggregatorClientTest, AVersionedOrderWithALookupTableRunsToo) {
    const Taker taker(2);
    fixture->airdrop(taker.address(), 5'000'000'000);
    // Some USDC first, then back to SOL through a versioned transaction.
    const SolanaSwapQuote first = order(wrappedSOLMint, usdc, 2'000'000'000, taker);
    runTask(client->executeAggregatorSwap(base64Encode(sign(first, taker)), *first.requestId));
    const std::uint64_t solBefore = lamports(taker);
    ASSERT_EQ(usdcHeld(taker), 300'000'000u);

    fixture->script({{"order", json::array({"versioned"})}});
    const SolanaSwapQuote back = order(usdc, wrappedSOLMint, 120'000'000, taker);
    EXPECT_EQ(back.outAmount, 800'000'000u);
    const Bytes signed_ = sign(back, taker);
    EXPECT_EQ(signed_[1 + 2 * 64], 0x80); // a version-0 message
    const AggregatorExecution executed =
        runTask(client->executeAggregatorSwap(base64Encode(signed_), *back.requestId));
    EXPECT_EQ(executed.status, "Success");
    EXPECT_EQ(usdcHeld(taker), 180'000'000u);
    EXPECT_EQ(lamports(taker), solBefore + 800'000'000 - 2 * 5000);
}

TEST_F(AggregatorClientTest, OrdersThatMustNotBeSignedAreRefused) {
    const Taker taker(3);
    // No slot for the wallet, and a first signer that is not the wallet: built by web3.js.
    fixture->script({{"order", json::array({"zeroSlots", "foreignSigner"})}});
    for (const char* kind : {"zeroSlots", "foreignSigner"}) {
        const SolanaSwapQuote quote = order(wrappedSOLMint, usdc, 1'000'000, taker);
        const Bytes bytes = base64Decode(*quote.transactionBase64).value();
        try {
            AggregatorTransaction::parse(bytes, taker.publicKey());
            ADD_FAILURE() << kind << " accepted";
        } catch (const SwapError& error) {
            EXPECT_STREQ(error.what(), "Failed: Invalid TX format") << kind;
        }
    }
    // An order for another amount than asked.
    fixture->script({{"order", json::array({"otherInAmount"})}});
    EXPECT_EQ(orderFailure(wrappedSOLMint, usdc, 1'000'000, taker),
              "Jupiter: Order is for another amount");
    // A tampered message is caught by the aggregator's own check (the fixture works).
    const SolanaSwapQuote quote = order(wrappedSOLMint, usdc, 1'000'000, taker);
    Bytes tampered = sign(quote, taker);
    tampered.back() ^= 1;
    EXPECT_EQ(executeFailure(base64Encode(tampered), *quote.requestId),
              "Jupiter: Transaction altered");
}

TEST_F(AggregatorClientTest, OrderFailuresHaveTheirTexts) {
    const Taker taker(4);
    const auto asked = [&] { return fixture->requests().size(); };
    // Statuses are read before the body: a 429's plain text is no parse failure.
    fixture->script({{"order", json::array({"429", "500", "outAmountNumber", "nullTransaction"})}});
    EXPECT_EQ(orderFailure(wrappedSOLMint, usdc, 1000, taker),
              "Jupiter: Network busy, try again in a few seconds");
    EXPECT_EQ(orderFailure(wrappedSOLMint, usdc, 1000, taker), "Jupiter: Quote failed (HTTP 500)");
    EXPECT_EQ(orderFailure(wrappedSOLMint, usdc, 1000, taker), "Jupiter: Cannot parse quote");
    EXPECT_EQ(orderFailure(wrappedSOLMint, usdc, 1000, taker), "Jupiter: Cannot parse quote");

    // Mints come from lists and the network: only 32-byte Base58 keys go into a URL, and
    // nothing is sent otherwise.
    const std::size_t before = asked();
    EXPECT_EQ(orderFailure(usdc + "&amount=1", wrappedSOLMint, 1000, taker), "Invalid token");
    EXPECT_EQ(orderFailure(wrappedSOLMint, "0x" + std::string(40, 'a'), 1000, taker),
              "Invalid token");
    EXPECT_EQ(orderFailure(wrappedSOLMint, base58Encode(Bytes(33, 9)), 1000, taker),
              "Invalid token");
    try {
        runTask(client->aggregatorOrder(wrappedSOLMint, usdc, 1000, 50, "taker&x=1"));
        ADD_FAILURE() << "a taker that is no key was sent";
    } catch (const SwapError& error) {
        EXPECT_STREQ(error.what(), "Failed: Invalid sender");
    }
    EXPECT_EQ(asked(), before);

    // Without a threshold in the order the minimum is only an estimate from the slippage.
    // Worked out exactly, also where out × (10000 − bps) passes 64 bits.
    fixture->script({{"order", json::array({"noThreshold", "noThreshold"})}});
    for (const std::uint64_t amount : {std::uint64_t{1'000'000'007}, ~std::uint64_t{0}}) {
        const SolanaSwapQuote estimated = order(wrappedSOLMint, usdc, amount, taker, 33);
        EXPECT_FALSE(estimated.minimumIsStated);
        const UInt256 out(0, 0, 0, estimated.outAmount);
        EXPECT_EQ(estimated.outAmount, amount / 1000 * 150 + amount % 1000 * 150 / 1000);
        EXPECT_EQ(UInt256(0, 0, 0, estimated.outAmountMinimum),
                  out.checkedMultiplyDivide(UInt256(0, 0, 0, 9967), UInt256(0, 0, 0, 10000)));
    }

    // A wrong key is refused by the service.
    AggregatorClient keyless(
        AggregatorEndpoint{fixture->aggregatorURL().toString().toStdString(), "wrong"});
    try {
        runTask(keyless.aggregatorOrder(wrappedSOLMint, usdc, 1000, 50, taker.address()));
        ADD_FAILURE() << "the wrong key was accepted";
    } catch (const SwapError& error) {
        EXPECT_STREQ(error.what(), "Jupiter: Quote failed (HTTP 401)");
    }
}

TEST_F(AggregatorClientTest, ExecuteFailuresHaveTheirTexts) {
    const Taker taker(5);
    fixture->script({{"execute", json::array({"429", "500", "failedWithError", "failedWithoutError",
                                              "noStatus", "noSignature", "pending"})}});
    const SolanaSwapQuote quote = order(wrappedSOLMint, usdc, 1000, taker);
    const std::string signed_ = base64Encode(sign(quote, taker));
    for (const char* text :
         {"Jupiter: Network busy, try again in a few seconds",
          "Jupiter: Swap execution failed (HTTP 500)", "Jupiter: Slippage tolerance exceeded",
          "Jupiter: Unknown error", "Jupiter: Cannot parse execute response",
          "Jupiter: No signature in response"}) {
        EXPECT_EQ(executeFailure(signed_, *quote.requestId), text);
    }
    // Any status but "Failed" with a signature is an answer; the status says how far it got.
    const AggregatorExecution pending =
        runTask(client->executeAggregatorSwap(signed_, *quote.requestId));
    EXPECT_EQ(pending.status, "Pending");
    EXPECT_EQ(pending.signature, base58Encode(ByteView(*base64Decode(signed_)).subspan(1, 64)));
    // The runtime refuses a swap the taker cannot pay for: the aggregator's failure text.
    const std::string failure = executeFailure(signed_, *quote.requestId);
    EXPECT_EQ(failure.rfind("Jupiter: ", 0), 0u) << failure;
    EXPECT_NE(failure, "Jupiter: Unknown error");
}

// An aggregator that cannot be reached is named for the user; the transport's words stay in
// what() for the diagnostics.
TEST(AggregatorClient, AnUnreachableAggregatorIsNamed) {
    test::HttpFixture server;
    test::HttpFixtureResponse closed;
    closed.behaviour = test::HttpFixtureResponse::Behaviour::close;
    server.setHandler([&](const test::HttpFixtureRequest&) { return closed; });
    AggregatorClient client(AggregatorEndpoint{server.url().toString().toStdString(), "key"});
    try {
        runTask(client.aggregatorOrder(wrappedSOLMint, usdc, 1000, 50, base58Encode(Bytes(32, 7))));
        ADD_FAILURE() << "the order did not fail";
    } catch (const HttpTransportError& error) {
        EXPECT_EQ(error.unreachableText(), "Cannot reach the Jupiter swap service");
    }
}

TEST(AggregatorEndpoint, DefaultsVariablesAndURLs) {
    qunsetenv(AggregatorEndpoint::kBaseURLVariable);
    qunsetenv(AggregatorEndpoint::kAPIKeyVariable);
    // A variable set but empty counts as unset.
    qputenv(AggregatorEndpoint::kBaseURLVariable, "");
    const AggregatorEndpoint defaults = AggregatorEndpoint::configured();
    qunsetenv(AggregatorEndpoint::kBaseURLVariable);
    EXPECT_EQ(defaults.baseURL, "https://api.jup.ag");
    EXPECT_EQ(defaults.apiKey, "7f3c9a12-4e5b-4c8d-b2a6-19e0d5f7c384");
    EXPECT_EQ(defaults.url("/ultra/v1/execute")->toString(), "https://api.jup.ag/ultra/v1/execute");
    qputenv(AggregatorEndpoint::kBaseURLVariable, "http://127.0.0.1:9/base/");
    qputenv(AggregatorEndpoint::kAPIKeyVariable, "k");
    const AggregatorEndpoint local = AggregatorEndpoint::configured();
    qunsetenv(AggregatorEndpoint::kBaseURLVariable);
    qunsetenv(AggregatorEndpoint::kAPIKeyVariable);
    EXPECT_EQ(local.apiKey, "k");
    QUrlQuery query;
    query.addQueryItem("inputMint", "a&b=c d");
    EXPECT_EQ(local.url("/ultra/v1/order", query)->toString(QUrl::FullyEncoded),
              "http://127.0.0.1:9/base/ultra/v1/order?inputMint=a%26b%3Dc%20d");
    // Plain HTTP only on this machine; no query, fragment or user in the base.
    for (const char* base : {"http://api.jup.ag", "ftp://127.0.0.1", "ws://127.0.0.1", "https://",
                             "https://h/?q=1", "https://h/#f", "https://u@h", "not a url"}) {
        EXPECT_FALSE((AggregatorEndpoint{base, "k"}.url("/x").has_value())) << base;
    }
    EXPECT_TRUE((AggregatorEndpoint{"http://localhost:8080", "k"}.url("/x").has_value()));
    // An unusable base fails before any request.
    AggregatorClient client(AggregatorEndpoint{"http://example.com", "k"});
    try {
        runTask(client.executeAggregatorSwap("AA==", "id"));
        ADD_FAILURE();
    } catch (const SwapError& error) {
        EXPECT_STREQ(error.what(), "Jupiter: Invalid URL");
    }
}

} // namespace
} // namespace qm
