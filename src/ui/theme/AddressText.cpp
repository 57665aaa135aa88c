#include "ui/theme/AddressText.h"

#include <QTextBoundaryFinder>
#include <vector>

namespace qm {
namespace {

// Start offsets of the grapheme clusters of `text`, plus its length at the end.
std::vector<qsizetype> clusterBounds(const QString& text) {
    std::vector<qsizetype> bounds;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.toStart();
    for (qsizetype at = finder.position(); at >= 0; at = finder.toNextBoundary()) {
        bounds.push_back(at);
    }
    if (bounds.empty()) {
        bounds.push_back(0);
    }
    return bounds;
}

// The first `head` and last `tail` characters joined by three full stops, when the address
// has at least `minimum` characters; else the address unchanged.
QString shorten(const QString& address, std::size_t minimum, std::size_t head, std::size_t tail) {
    const std::vector<qsizetype> bounds = clusterBounds(address);
    const std::size_t count = bounds.size() - 1;
    if (count < minimum) {
        return address;
    }
    return address.left(bounds[head]) + QStringLiteral("...") + address.mid(bounds[count - tail]);
}

} // namespace

QString addressLabelText(const QString& address, bool truncate) {
    return truncate ? shorten(address, 17, 8, 6) : address;
}

QString sidebarAddressText(const QString& address) {
    return shorten(address, 13, 6, 4);
}

QString counterpartyAddressText(const QString& address) {
    return shorten(address, 15, 6, 4);
}

QString pickerAddressText(const QString& address) {
    return shorten(address, 17, 6, 4);
}

AddressText* AddressText::create(QQmlEngine*, QJSEngine*) {
    return new AddressText;
}

} // namespace qm
