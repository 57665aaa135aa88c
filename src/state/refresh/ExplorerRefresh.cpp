#include "state/refresh/ExplorerRefresh.h"

#include "core/encoding/AsciiCase.h"
#include "core/model/Amount.h"
#include "services/evm/BlockExplorerClient.h"
#include "state/AmountFormatting.h"
#include "state/refresh/ListDeadline.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iostream>
#include <set>

namespace qm {
namespace {

constexpr int normalPages = 3;
constexpr int tokenPages = 5;
constexpr std::int64_t defaultTokenDecimals = 18;
// Beyond this a decimals value is no token's: the default stands in.
constexpr std::int64_t maxTokenDecimals = 255;

// An integer text with an optional sign, consumed whole and within 64 bits.
std::optional<std::int64_t> parseInteger(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
            return std::nullopt;
        }
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// A finite decimal number in the C locale, consumed whole.
std::optional<double> parseNumber(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
            return std::nullopt;
        }
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// A whole number of base units, read exactly; none for anything else.
std::optional<UInt256> parseBaseUnits(std::string_view text) {
    try {
        return Amount::parse(text, 0).value;
    } catch (const AmountError&) {
        return std::nullopt;
    }
}

// Wei of the native coin as the history shows it: 6 fraction digits above zero and below
// 0.0001, else 4, rounded half up from the exact value (the size is that of the rounded figure).
std::string nativeAmountText(const UInt256& wei, const std::string& symbol) {
    const Amount amount{wei, 18};
    std::string text = amount.fixedText(6);
    if (wei.isZero() || !text.starts_with("0.0000")) {
        text = amount.fixedText(4);
    }
    return text + " " + symbol;
}

void log(const std::string& line) {
    std::cout << "[TX] " << line << std::endl;
}

// The mapped records of one request, or none when the job is to end; a failure logs the line
// "<chain> <kind> tx fetch failed: <error>" and gives `failed`, or, when it came after pages
// that were read, those pages' entries and `incomplete`.
struct FetchedEntries {
    std::vector<Transaction> entries;
    bool failed = false;
    bool incomplete = false;
};

void addEntries(std::vector<Transaction>& entries, const std::vector<ExplorerTx>& records,
                Chain chain, const std::string& owner, bool tokens) {
    for (const ExplorerTx& record : records) {
        if (auto entry = transactionFromExplorer(record, chain, owner, tokens)) {
            entries.push_back(std::move(*entry));
        }
    }
}

QCoro::Task<std::optional<FetchedEntries>> fetchEntries(RefreshJob job, Chain chain,
                                                        std::string owner, bool tokens) {
    FetchedEntries fetched;
    const std::string failure =
        rawValue(chain) + (tokens ? " token" : " normal") + " tx fetch failed: ";
    try {
        BlockExplorerClient& explorer = job.state->explorerClient();
        QCoro::Task<std::vector<ExplorerTx>> request =
            tokens ? explorer.fetchTokenTransfers(owner, chain, tokenPages, job.token)
                   : explorer.fetchTransactions(owner, chain, normalPages, job.token);
        const auto records = co_await untilCancelled(std::move(request), job.token);
        if (!records) {
            co_return std::nullopt;
        }
        addEntries(fetched.entries, *records, chain, owner, tokens);
    } catch (const ExplorerPageError& error) {
        log(failure + error.what());
        addEntries(fetched.entries, error.read(), chain, owner, tokens);
        fetched.incomplete = !error.read().empty();
        fetched.failed = !fetched.incomplete;
    } catch (const std::exception& error) {
        log(failure + error.what());
        fetched.entries.clear();
        fetched.failed = true;
    }
    co_return fetched;
}

// Where a request failed, the rows of its kind (token transfers or not) that the account had.
void keepKnownRows(std::vector<Transaction>& into, const std::vector<Transaction>& known,
                   bool tokens) {
    for (const Transaction& entry : known) {
        const bool isToken = entry.tokenSymbol || entry.contractAddress;
        if (isToken == tokens) {
            into.push_back(entry);
        }
    }
}

// Marks the histories of the chain's live accounts as not loaded, except those of the accounts
// in `ended`; the rows stay.
void markHistoriesFailed(AppState& state, Chain chain, const std::set<std::string>& ended) {
    forEachUnended(state.evmAccounts(chain), ended, [&](std::size_t i, const std::string& id) {
        writeEVMAccount(state, chain, i, id, [](EVMAccountState& a) { a.endHistoryLoad(true); });
    });
}

} // namespace

std::optional<Transaction> transactionFromExplorer(const ExplorerTx& record, Chain chain,
                                                   const std::string& owner, bool isToken) {
    if (!record.hash || !record.from || !record.to) {
        return std::nullopt;
    }
    const std::string& symbol = nativeSymbol(chain);
    Transaction entry;
    entry.direction = lowercaseASCII(*record.from) == lowercaseASCII(owner)
                          ? TransactionDirection::sent
                          : TransactionDirection::received;
    const std::int64_t confirmations = parseInteger(record.confirmations.value_or("0")).value_or(0);
    if (record.isError == std::optional<std::string>("1")) {
        entry.status = TransactionStatus::failed;
    } else {
        entry.status =
            confirmations > 0 ? TransactionStatus::confirmed : TransactionStatus::pending;
    }

    const std::string value = record.value.value_or("0");
    if (isToken) {
        std::int64_t decimals =
            parseInteger(record.tokenDecimal.value_or("")).value_or(defaultTokenDecimals);
        if (decimals < 0 || decimals > maxTokenDecimals) {
            decimals = defaultTokenDecimals;
        }
        entry.amount = formatTokenAmount(value, decimals) + " " + record.tokenSymbol.value_or("?");
    } else {
        entry.amount = nativeAmountText(parseBaseUnits(value).value_or(UInt256()), symbol);
    }
    if (record.gasUsed && record.gasPrice) {
        const UInt256 gasUsed = parseBaseUnits(*record.gasUsed).value_or(UInt256());
        const UInt256 gasPrice = parseBaseUnits(*record.gasPrice).value_or(UInt256());
        // A product past 256 bits is no fee a chain charged.
        const UInt256 fee = gasUsed.checkedMultiply(gasPrice).value_or(UInt256());
        entry.fee = Amount{fee, 18}.fixedText(6) + " " + symbol;
    }

    entry.id = isToken ? *record.hash + "-" + record.contractAddress.value_or("") : *record.hash;
    entry.txHash = *record.hash;
    entry.chain = chain;
    entry.from = *record.from;
    entry.to = *record.to;
    entry.amountRaw = 0;
    if (record.blockNumber) {
        entry.blockHeight = parseInteger(*record.blockNumber);
    }
    entry.confirmations = confirmations;
    if (record.timeStamp) {
        if (const std::optional<double> seconds = parseNumber(*record.timeStamp)) {
            const Date date = Date::fromUnixTime(*seconds);
            if (date.isInSupportedRange()) {
                entry.timestamp = date;
            }
        }
    }
    if (isToken) {
        entry.tokenSymbol = record.tokenSymbol;
        entry.tokenName = record.tokenName;
        entry.contractAddress = record.contractAddress;
    }
    return entry;
}

QCoro::Task<void> refreshExplorerHistory(RefreshJob job, Chain chain) {
    if (job.shouldStop() ||
        (chain != Chain::ethereum && chain != Chain::arbitrum && chain != Chain::polygon)) {
        co_return;
    }
    ListDeadline deadline(listLoadLimit(*job.state),
                          [job, chain](const std::set<std::string>& ended) {
                              if (!job.shouldStop()) {
                                  markHistoriesFailed(*job.state, chain, ended);
                              }
                          });
    std::vector<std::pair<std::string, std::string>> accounts; // id, address
    for (const EVMAccountState& account : job.state->evmAccounts(chain)) {
        accounts.emplace_back(account.id(), account.account.address);
    }
    for (std::size_t i = 0; i < accounts.size(); ++i) {
        const std::string& owner = accounts[i].second;
        if (job.shouldStop()) {
            co_return;
        }
        std::optional<FetchedEntries> normal = co_await fetchEntries(job, chain, owner, false);
        if (!normal || job.shouldStop()) {
            co_return;
        }
        std::optional<FetchedEntries> transfers = co_await fetchEntries(job, chain, owner, true);
        if (!transfers || job.shouldStop()) {
            co_return;
        }
        std::vector<Transaction>& history = normal->entries;
        history.insert(history.end(), std::make_move_iterator(transfers->entries.begin()),
                       std::make_move_iterator(transfers->entries.end()));
        const auto tokens = std::count_if(history.begin(), history.end(),
                                          [](const Transaction& t) { return t.tokenSymbol; });
        log(rawValue(chain) + " fetched " + std::to_string(history.size() - tokens) + " native + " +
            std::to_string(tokens) + " token txs for " + owner.substr(0, 10) + "...");
        if (job.shouldStop() ||
            !writeEVMAccount(*job.state, chain, i, accounts[i].first, [&](EVMAccountState& a) {
                if (normal->failed) {
                    keepKnownRows(history, a.transactions, false);
                }
                if (transfers->failed) {
                    keepKnownRows(history, a.transactions, true);
                }
                sortNewestFirst(history);
                a.transactions = std::move(history);
                a.endHistoryLoad(normal->failed || transfers->failed,
                                 normal->incomplete || transfers->incomplete);
            })) {
            co_return;
        }
        deadline.ended(accounts[i].first);
    }
}

} // namespace qm
