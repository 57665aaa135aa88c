#pragma once
// The transaction history of an EVM account from its chain's public Blockscout v2 REST API:
// the account's own transactions and its ERC-20 token transfers, page after page.
//
// One client lives as long as the application state; fetches keep their paging in the call,
// so several (the three chains of a refresh) may run at once over the one session.

#include "core/model/Chain.h"
#include "platform/Error.h"
#include "services/evm/BlockscoutPage.h"
#include "services/network/HttpSession.h"

#include <QObject>
#include <array>
#include <cstdint>
#include <functional>
#include <qcoro/qcorotask.h>
#include <string>
#include <vector>

namespace qm {

// A page the explorer did not answer with 200, or whose body does not decode: the listing is
// not known past the pages before it, which `read` holds (none when it was the first).
class ExplorerPageError : public Error {
public:
    ExplorerPageError(const std::string& text, std::vector<ExplorerTx> read)
        : Error(text), m_read(std::move(read)) {}
    const std::vector<ExplorerTx>& read() const { return m_read; }

private:
    std::vector<ExplorerTx> m_read;
};

class BlockExplorerClient : public QObject {
    Q_OBJECT

public:
    // Base URL per chain (index chainIndex), "https://<host>/api/v2"; empty for chains
    // without an explorer.
    using BaseURLs = std::array<std::string, chainCount>;

    // The longest page accepted (a page holds 50 items of a few KB).
    static constexpr std::size_t maxPageBytes = 4u << 20;

    // The public instances and a 15 s idle time-out.
    explicit BlockExplorerClient(QObject* parent = nullptr);
    // Other instances (tests: a loopback fixture) and time-outs.
    BlockExplorerClient(BaseURLs baseURLs, HttpTimeouts timeouts, QObject* parent = nullptr);

    static const BaseURLs& publicBaseURLs();

    // The records of at most `maxPages` pages, in the order received. A page answered with a
    // status other than 200, or one that does not decode, throws ExplorerPageError with the
    // pages read before it (and logs a line): a listing cut short is no short history. A
    // transport failure or time-out throws HttpTransportError and drops every page read.
    // Cancelling `cancel` aborts the page in flight and every later one.
    QCoro::Task<std::vector<ExplorerTx>> fetchTransactions(std::string address, Chain chain,
                                                           int maxPages,
                                                           CancellationToken cancel = {});
    QCoro::Task<std::vector<ExplorerTx>> fetchTokenTransfers(std::string address, Chain chain,
                                                             int maxPages,
                                                             CancellationToken cancel = {});

    // The hashes, as listed, of the transactions `address` sent with `nonce`, from the list of
    // what it sent (newest first): pages are read until one lists a lower nonce of it, at most
    // `maxPages`. Only the explorer's word: what each hash is must be asked of a node. Fails as
    // fetchTransactions, for any page it reads: what it could not read is not known, never
    // none.
    QCoro::Task<std::vector<std::string>> sentWithNonce(std::string address, Chain chain,
                                                        std::uint64_t nonce, int maxPages,
                                                        CancellationToken cancel = {});

private:
    enum class Kind { transactions, sentTransactions, tokenTransfers };
    // Whether a page read is the last one wanted.
    using LastPage = std::function<bool(const std::vector<ExplorerTx>& page)>;

    QCoro::Task<std::vector<ExplorerTx>> fetch(Kind kind, std::string address, Chain chain,
                                               int maxPages, CancellationToken cancel,
                                               LastPage lastPage = {});

    BaseURLs m_baseURLs;
    HttpSession m_session;
};

} // namespace qm
