#include "ui/history/TransactionTexts.h"

#include "core/crypto/Base58.h"
#include "ui/theme/AddressText.h"

#include <QDateTime>
#include <algorithm>
#include <array>
#include <cmath>

namespace qm {
namespace {

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

// "1 day ago" / "3 days ago".
QString ago(long long count, const char* one, const char* many) {
    return QString::number(count) + ' ' + QString::fromLatin1(count == 1 ? one : many) +
           QStringLiteral(" ago");
}

// The locale's long time format without its time-zone name ("h:mm:ss AP t" gives
// "h:mm:ss AP"): quoted literals stay, unquoted runs of 't' go.
QString timeFormatWithoutZone(const QLocale& locale) {
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == '\'') {
            quoted = !quoted;
        }
        if (!quoted && c == 't') {
            continue;
        }
        result += c;
    }
    return result.trimmed();
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

const char* explorerHost(Chain chain) {
    switch (chain) {
    case Chain::bitcoin:
        return "https://mempool.space";
    case Chain::ethereum:
        return "https://etherscan.io";
    case Chain::arbitrum:
        return "https://arbiscan.io";
    case Chain::polygon:
        return "https://polygonscan.com";
    case Chain::solana:
        return "https://solscan.io";
    }
    return "";
}

} // namespace

QString counterpartyText(const Transaction& transaction) {
    const std::string& address =
        transaction.direction == TransactionDirection::sent ? transaction.to : transaction.from;
    return counterpartyAddressText(text(address));
}

QString statusText(const Transaction& transaction) {
    if (transaction.chain == Chain::bitcoin && transaction.status == TransactionStatus::pending) {
        return QString::number(transaction.confirmations) + QStringLiteral("/6 conf");
    }
    return text(displayLabel(transaction.status));
}

QString signedAmountText(const Transaction& transaction) {
    return (transaction.direction == TransactionDirection::received ? QStringLiteral("+")
                                                                    : QStringLiteral("-")) +
           text(transaction.amount);
}

QString relativeTimeText(double secondsElapsed) {
    if (!(secondsElapsed >= 60)) { // NaN and the future too
        return QStringLiteral("just now");
    }
    const auto seconds = static_cast<long long>(std::min(secondsElapsed, 1e15));
    const long long minutes = seconds / 60;
    if (minutes < 60) {
        return ago(minutes, "min", "min");
    }
    const long long hours = minutes / 60;
    if (hours < 24) {
        return ago(hours, "hr", "hr");
    }
    const long long days = hours / 24;
    if (days < 30) {
        return ago(days, "day", "days");
    }
    if (days < 365) {
        return ago(days / 30, "month", "months");
    }
    return ago(days / 365, "year", "years");
}

QString longDateText(Date date, const QLocale& locale, const QTimeZone& zone) {
    const QDateTime moment =
        QDateTime::fromMSecsSinceEpoch(std::llround(date.unixTime() * 1000.0), zone);
    return locale.toString(moment.date(), QLocale::LongFormat) + QStringLiteral(", ") +
           locale.toString(moment.time(), timeFormatWithoutZone(locale));
}

QString explorerName(Chain chain) {
    static const std::array<QString, chainCount> names = {
        QStringLiteral("Mempool"), QStringLiteral("Etherscan"), QStringLiteral("Arbiscan"),
        QStringLiteral("Polygonscan"), QStringLiteral("Solscan")};
    return names.at(chainIndex(chain));
}

bool isTransactionHash(Chain chain, std::string_view hash) {
    if (chain == Chain::solana) {
        // A 64-byte signature has at most 88 Base58 digits; longer text is not worth decoding.
        if (hash.empty() || hash.size() > 88) {
            return false;
        }
        const std::optional<Bytes> signature = base58Decode(hash);
        return signature && signature->size() == 64;
    }
    if (hash.starts_with("0x")) {
        hash.remove_prefix(2);
    }
    return hash.size() == 64 && std::all_of(hash.begin(), hash.end(), isHexDigit);
}

std::optional<QUrl> explorerURL(Chain chain, std::string_view hash) {
    if (!isTransactionHash(chain, hash)) {
        return std::nullopt;
    }
    const QUrl url(QString::fromLatin1(explorerHost(chain)) + QStringLiteral("/tx/") +
                       QString::fromLatin1(hash.data(), static_cast<qsizetype>(hash.size())),
                   QUrl::StrictMode);
    if (!url.isValid()) {
        return std::nullopt;
    }
    return url;
}

} // namespace qm
