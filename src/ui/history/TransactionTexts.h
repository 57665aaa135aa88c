#pragma once
// The texts a history row and the detail sheet show of one entry, and the entry's page on the
// chain's public block explorer. Pure functions: the views only lay the texts out.

#include "core/model/Chain.h"
#include "core/model/Date.h"
#include "core/model/Transaction.h"

#include <QLocale>
#include <QString>
#include <QTimeZone>
#include <QUrl>
#include <optional>
#include <string_view>

namespace qm {

// The other side of the entry: `to` for a sent one, `from` for a received one; from 15
// user-perceived characters up, its first 6, "..." and its last 4.
QString counterpartyText(const Transaction& transaction);
// "Pending", "Confirmed", "Failed"; a pending Bitcoin entry counts its confirmations instead
// ("0/6 conf").
QString statusText(const Transaction& transaction);
// The stored amount text after "+" (received) or "-" (sent).
QString signedAmountText(const Transaction& transaction);

// How long ago, from the seconds elapsed: "just now" under a minute, then "1 min ago",
// "5 hr ago", "1 day ago", "3 months ago", "2 years ago". A moment in the future (a clock
// ahead of ours) reads "just now".
QString relativeTimeText(double secondsElapsed);
// The moment with the locale's long date and its time of day to the second, in `zone`.
QString longDateText(Date date, const QLocale& locale = QLocale(),
                     const QTimeZone& zone = QTimeZone::systemTimeZone());

// "Mempool", "Etherscan", "Arbiscan", "Polygonscan", "Solscan".
QString explorerName(Chain chain);
// Whether `hash` has the shape of a transaction hash of `chain`: 64 hexadecimal digits, with or
// without "0x"; on Solana the Base58 text of a 64-byte signature.
bool isTransactionHash(Chain chain, std::string_view hash);
// The explorer's page of the transaction: its https host, "/tx/" and the hash as stored. None
// when the hash is not of the chain's shape: a server's text never becomes part of a link.
std::optional<QUrl> explorerURL(Chain chain, std::string_view hash);

} // namespace qm
