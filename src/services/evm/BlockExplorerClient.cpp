#include "services/evm/BlockExplorerClient.h"

#include "core/encoding/AsciiCase.h"
#include "core/json/JSONReader.h"

#include <QPointer>
#include <algorithm>
#include <charconv>
#include <iostream>

namespace qm {
namespace {

// URLSession's defaults: a 15 s silence limit, and the platform's 7-day resource limit.
constexpr HttpTimeouts kTimeouts{std::chrono::seconds(15), std::chrono::hours(24 * 7)};

// The paging parameters, after the path's own query ("?type=ERC-20") where it has one.
std::string pageQuery(bool tokenTransfers, bool pathHasQuery,
                      const std::optional<BlockscoutNextPage>& next) {
    if (!next) {
        return {};
    }
    std::string query;
    const auto add = [&query](const char* key, std::optional<std::int64_t> value) {
        if (value) {
            query += query.empty() ? "" : "&";
            query += key;
            query += std::to_string(*value);
        }
    };
    add("index=", next->index);
    add("block_number=", next->blockNumber);
    if (!tokenTransfers) {
        add("items_count=", next->itemsCount);
    }
    return query.empty() ? query : (pathHasQuery ? "&" : "?") + query;
}

// Blockscout's answer for an address it has never indexed: 404 with {"message": "Not found"}.
// Such an address has sent and received nothing; any other 404 is a failure.
bool isUnknownAddress(const HttpResponse& response) {
    if (response.status != 404) {
        return false;
    }
    const std::optional<nlohmann::json> body = JSONReader::tryRead(
        std::string_view(response.body.constData(), static_cast<std::size_t>(response.body.size())),
        JSONReader::network);
    if (!body || !body->is_object() || body->size() != 1) {
        return false;
    }
    const auto message = body->find("message");
    return message != body->end() && message->is_string() &&
           message->get<std::string>() == "Not found";
}

std::optional<std::uint64_t> decimalNonce(const ExplorerTx& tx) {
    std::uint64_t value = 0;
    const std::string text = tx.nonce.value_or("");
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

const BlockExplorerClient::BaseURLs& BlockExplorerClient::publicBaseURLs() {
    static const BaseURLs urls = [] {
        BaseURLs out;
        out[chainIndex(Chain::ethereum)] = "https://eth.blockscout.com/api/v2";
        out[chainIndex(Chain::arbitrum)] = "https://arbitrum.blockscout.com/api/v2";
        out[chainIndex(Chain::polygon)] = "https://polygon.blockscout.com/api/v2";
        return out;
    }();
    return urls;
}

BlockExplorerClient::BlockExplorerClient(QObject* parent)
    : BlockExplorerClient(publicBaseURLs(), kTimeouts, parent) {}

BlockExplorerClient::BlockExplorerClient(BaseURLs baseURLs, HttpTimeouts timeouts, QObject* parent)
    : QObject(parent), m_baseURLs(std::move(baseURLs)), m_session(QUrl(), timeouts, maxPageBytes) {}

QCoro::Task<std::vector<ExplorerTx>>
BlockExplorerClient::fetchTransactions(std::string address, Chain chain, int maxPages,
                                       CancellationToken cancel) {
    co_return co_await fetch(Kind::transactions, std::move(address), chain, maxPages,
                             std::move(cancel));
}

QCoro::Task<std::vector<ExplorerTx>>
BlockExplorerClient::fetchTokenTransfers(std::string address, Chain chain, int maxPages,
                                         CancellationToken cancel) {
    co_return co_await fetch(Kind::tokenTransfers, std::move(address), chain, maxPages,
                             std::move(cancel));
}

QCoro::Task<std::vector<std::string>>
BlockExplorerClient::sentWithNonce(std::string address, Chain chain, std::uint64_t nonce,
                                   int maxPages, CancellationToken cancel) {
    const std::string sender = lowercaseASCII(address);
    const auto isSender = [sender](const ExplorerTx& tx) {
        return tx.from && lowercaseASCII(*tx.from) == sender;
    };
    // Newest first: a page listing a lower nonce of the sender is the last that may hold it.
    const LastPage pastTheNonce = [&](const std::vector<ExplorerTx>& page) {
        return std::any_of(page.begin(), page.end(), [&](const ExplorerTx& tx) {
            const std::optional<std::uint64_t> listedNonce = decimalNonce(tx);
            return isSender(tx) && listedNonce && *listedNonce < nonce;
        });
    };
    QCoro::Task<std::vector<ExplorerTx>> fetching =
        fetch(Kind::sentTransactions, std::move(address), chain, maxPages, std::move(cancel),
              pastTheNonce);
    const std::vector<ExplorerTx> listed = co_await std::move(fetching);
    std::vector<std::string> hashes;
    for (const ExplorerTx& tx : listed) {
        if (isSender(tx) && decimalNonce(tx) == nonce && tx.hash) {
            hashes.push_back(*tx.hash);
        }
    }
    co_return hashes;
}

QCoro::Task<std::vector<ExplorerTx>> BlockExplorerClient::fetch(Kind kind, std::string address,
                                                                Chain chain, int maxPages,
                                                                CancellationToken cancel,
                                                                LastPage lastPage) {
    std::vector<ExplorerTx> result;
    const std::string base = m_baseURLs[chainIndex(chain)];
    if (base.empty() || maxPages <= 0) {
        co_return result;
    }
    const bool tokens = kind == Kind::tokenTransfers;
    const char* const listing = tokens                           ? "/token-transfers?type=ERC-20"
                                : kind == Kind::sentTransactions ? "/transactions?filter=from"
                                                                 : "/transactions";
    const std::string path = base + "/addresses/" + address + listing;
    const std::string label = rawValue(chain) + (tokens ? " token tx " : " normal tx ");
    const QPointer<BlockExplorerClient> self(this);

    // Every page goes out with the caller's token: cancelling it ends the fetch, whichever page.
    HttpRequestOptions options;
    options.cancel = std::move(cancel);
    std::optional<BlockscoutNextPage> next;
    for (int page = 0;;) {
        const QUrl url(
            QString::fromStdString(path + pageQuery(tokens, kind != Kind::transactions, next)),
            QUrl::StrictMode);
        if (!url.isValid()) {
            co_return result;
        }
        const HttpResponse response = co_await self->m_session.get(url, options);
        if (!self) {
            throw HttpTransportError(HttpTransportError::Kind::aborted, "explorer client gone");
        }
        if (page == 0 && isUnknownAddress(response)) {
            co_return result;
        }
        if (response.status != 200) {
            const std::string line = label + "HTTP " + std::to_string(response.status) + " for " +
                                     address.substr(0, 10) + "...";
            std::cout << "[Explorer] " << line << std::endl;
            throw ExplorerPageError(line, std::move(result));
        }
        BlockscoutPage decoded;
        try {
            const std::string_view body(response.body.constData(),
                                        static_cast<std::size_t>(response.body.size()));
            decoded = tokens ? decodeTokenTransferPage(body) : decodeTransactionPage(body);
        } catch (const BlockscoutPageError& error) {
            const std::string line = label + "decode error: " + error.what();
            std::cout << "[Explorer] " << line << std::endl;
            throw ExplorerPageError(line, std::move(result));
        }
        const bool last = lastPage && lastPage(decoded.items);
        result.insert(result.end(), std::make_move_iterator(decoded.items.begin()),
                      std::make_move_iterator(decoded.items.end()));
        if (!decoded.nextPage || last) {
            co_return result;
        }
        ++page;
        if (page == maxPages) {
            co_return result;
        }
        next = decoded.nextPage;
    }
}

} // namespace qm
