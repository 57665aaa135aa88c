#include "services/prices/CoinGeckoClient.h"

#include "core/json/JSONReader.h"

#include <QPointer>
#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>

namespace qm {
namespace {

using json = nlohmann::json;

// URLSession's defaults: a 10 s silence limit, and the platform's 7-day resource limit.
constexpr HttpTimeouts kTimeouts{std::chrono::seconds(10), std::chrono::hours(24 * 7)};

// The query value goes out percent-encoded: it holds quotes and brackets.
QUrl urlWithQuery(const std::string& base, const std::string& path,
                  const std::vector<std::pair<std::string, std::string>>& query) {
    QByteArray text = QByteArray::fromStdString(base + path);
    char separator = '?';
    for (const auto& [key, value] : query) {
        text += separator;
        text += QByteArray::fromStdString(key);
        text += '=';
        text += QUrl::toPercentEncoding(QString::fromStdString(value));
        separator = '&';
    }
    return QUrl::fromEncoded(text, QUrl::StrictMode);
}

// The body as a JSON array whose elements are all of one kind (objects, arrays); else absent.
std::optional<json> arrayOf(const QByteArray& body, bool (json::*isKind)() const noexcept) {
    std::optional<json> parsed = JSONReader::tryRead(
        std::string_view(body.constData(), static_cast<std::size_t>(body.size())),
        JSONReader::network);
    if (!parsed || !parsed->is_array()) {
        return std::nullopt;
    }
    for (const auto& element : *parsed) {
        if (!(element.*isKind)()) {
            return std::nullopt;
        }
    }
    return parsed;
}

// The member `key` when it is a number written as text; none otherwise.
std::optional<double> priceOf(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) {
        return std::nullopt;
    }
    return priceFromText(it->get<std::string>());
}

} // namespace

std::optional<double> priceFromText(std::string_view text) {
    double value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
    if (text.empty() || error != std::errc() || end != last || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

CoinGeckoClient::CoinGeckoClient(QObject* parent)
    : CoinGeckoClient("https://api.binance.com/api/v3", kTimeouts, parent) {}

CoinGeckoClient::CoinGeckoClient(std::string baseURL, HttpTimeouts timeouts, QObject* parent)
    : QObject(parent), m_baseURL(std::move(baseURL)), m_session(QUrl(), timeouts, maxReplyBytes) {}

std::string CoinGeckoClient::tickerSymbol(Chain chain) {
    switch (chain) {
    case Chain::bitcoin:
        return "BTCUSDT";
    case Chain::ethereum:
        return "ETHUSDT";
    case Chain::arbitrum:
        return "ARBUSDT";
    case Chain::polygon:
        return "POLUSDT";
    case Chain::solana:
        return "SOLUSDT";
    }
    fatalError("unknown chain");
}

QCoro::Task<std::optional<QByteArray>> CoinGeckoClient::getBody(QUrl url) {
    if (!url.isValid()) {
        co_return std::nullopt;
    }
    try {
        const HttpResponse response = co_await m_session.get(std::move(url));
        if (response.status != 200) {
            co_return std::nullopt;
        }
        co_return response.body;
    } catch (const HttpTransportError&) {
        co_return std::nullopt; // the error is dropped: prices simply stay unknown
    }
}

QCoro::Task<std::map<Chain, ChainPrice>> CoinGeckoClient::fetchPrices() {
    std::map<Chain, ChainPrice> prices;
    std::string symbols = "[";
    for (Chain chain : allChains()) {
        symbols += (symbols.size() > 1 ? ",\"" : "\"") + tickerSymbol(chain) + "\"";
    }
    symbols += "]";
    const QUrl url = urlWithQuery(m_baseURL, "/ticker/24hr", {{"symbols", symbols}});
    const auto body = co_await getBody(url);
    // Only locals from here on: the client may be gone.
    if (!body) {
        co_return prices;
    }
    const auto tickers = arrayOf(*body, &json::is_object);
    if (!tickers) {
        co_return prices;
    }
    for (Chain chain : allChains()) {
        const std::string pair = tickerSymbol(chain);
        for (const auto& ticker : *tickers) {
            const auto symbol = ticker.find("symbol");
            if (symbol != ticker.end() && symbol->is_string() && *symbol == pair) {
                // A price that cannot be read is no price: left out, never a zero.
                if (const auto price = priceOf(ticker, "lastPrice")) {
                    prices[chain] =
                        ChainPrice{*price, priceOf(ticker, "priceChangePercent").value_or(0)};
                }
                break;
            }
        }
    }
    co_return prices;
}

QCoro::Task<std::vector<PricePoint>> CoinGeckoClient::fetchPriceHistory(Chain chain) {
    std::vector<PricePoint> points;
    const QUrl url =
        urlWithQuery(m_baseURL, "/klines",
                     {{"symbol", tickerSymbol(chain)}, {"interval", "4h"}, {"limit", "42"}});
    const auto body = co_await getBody(url);
    if (!body) {
        co_return points;
    }
    const auto candles = arrayOf(*body, &json::is_array);
    if (!candles) {
        co_return points;
    }
    for (const auto& candle : *candles) {
        if (candle.size() < 5 || !candle[0].is_number() || !candle[4].is_string()) {
            continue;
        }
        const auto price = priceFromText(candle[4].get<std::string>());
        if (!price) {
            continue;
        }
        const double openedMs = candle[0].get<double>();
        points.push_back(
            PricePoint{QUuid::createUuid(), Date::fromUnixTime(openedMs / 1000), *price});
    }
    co_return points;
}

} // namespace qm
