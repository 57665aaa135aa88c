#include "ui/portfolio/TokenDisc.h"

#include <QTextBoundaryFinder>

namespace qm {

QString tokenInitials(const QString& symbol) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, symbol);
    qsizetype end = 0;
    for (int count = 0; count < 2; ++count) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0) {
            break;
        }
        end = next;
    }
    return symbol.left(end).toUpper();
}

std::int64_t symbolHash(const QString& symbol) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char byte : symbol.toUtf8()) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 0x100000001b3ULL;
    }
    return static_cast<std::int64_t>(hash);
}

int hueIndex(std::int64_t hash) {
    // Negating in unsigned arithmetic: -INT64_MIN does not fit a signed 64-bit integer.
    const std::uint64_t magnitude =
        hash < 0 ? 0 - static_cast<std::uint64_t>(hash) : static_cast<std::uint64_t>(hash);
    return static_cast<int>(magnitude % 360);
}

TokenDisc* TokenDisc::create(QQmlEngine*, QJSEngine*) {
    return new TokenDisc;
}

} // namespace qm
