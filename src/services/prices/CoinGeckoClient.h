#pragma once
// US-dollar market prices of the five chains' native coins from the Binance public
// market-data REST API v3: the last price and 24-hour change of every coin in one request,
// and a seven-day history of one coin as 42 four-hour candles. It never throws: every
// failure gives an empty result.

#include "core/model/Chain.h"
#include "core/model/Date.h"
#include "services/network/HttpSession.h"

#include <QObject>
#include <QUuid>
#include <map>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

struct ChainPrice {
    double usd = 0;       // last price (in USDT, the quote of every pair)
    double change24h = 0; // percent, e.g. -2.5

    bool operator==(const ChainPrice&) const = default;
};

struct PricePoint {
    QUuid id;     // fresh for every point
    Date date;    // the candle's opening time
    double price; // its closing price
};

class CoinGeckoClient : public QObject {
    Q_OBJECT

public:
    // The longest reply accepted (five tickers, or a day of hourly candles, take a few KB).
    static constexpr std::size_t maxReplyBytes = 1u << 20;

    // The public API with a 10 s idle time-out.
    explicit CoinGeckoClient(QObject* parent = nullptr);
    // Another base ("https://host/api/v3", no trailing "/"; tests: a loopback fixture).
    CoinGeckoClient(std::string baseURL, HttpTimeouts timeouts, QObject* parent = nullptr);

    const std::string& baseURL() const { return m_baseURL; }

    // "BTCUSDT", "ETHUSDT", "ARBUSDT", "POLUSDT", "SOLUSDT".
    static std::string tickerSymbol(Chain chain);

    // Spot prices of every chain whose pair the answer holds with a readable last price (an
    // unreadable 24-hour change reads 0); empty on any failure.
    QCoro::Task<std::map<Chain, ChainPrice>> fetchPrices();
    // The chain's 4-hour candles of the last seven days, oldest first; empty on any failure.
    QCoro::Task<std::vector<PricePoint>> fetchPriceHistory(Chain chain);

private:
    // The body of a 200 answer; absent for anything else (status, transport, time-out).
    QCoro::Task<std::optional<QByteArray>> getBody(QUrl url);

    std::string m_baseURL;
    HttpSession m_session;
};

// A price text read as a number: the whole text must be a finite decimal number in the C
// locale (no blank, no sign "+", no hex); absent otherwise.
std::optional<double> priceFromText(std::string_view text);

} // namespace qm
