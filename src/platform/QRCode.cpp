#include "platform/QRCode.h"

#include <memory>
#include <qrencode.h>

namespace qm {

std::optional<QRCode> QRCode::encode(std::string_view text) {
    if (text.size() > 7089) { // beyond any version; libqrencode takes an int
        return std::nullopt;
    }
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeData(static_cast<int>(text.size()),
                          reinterpret_cast<const unsigned char*>(text.data()), 0, QR_ECLEVEL_M),
        &QRcode_free);
    if (!code || code->width <= 0) {
        return std::nullopt;
    }
    const int size = code->width;
    std::vector<std::uint8_t> dark(static_cast<std::size_t>(size) * size);
    for (std::size_t i = 0; i < dark.size(); ++i) {
        dark[i] = code->data[i] & 1U; // bit 0 of each module: dark
    }
    return QRCode(size, std::move(dark));
}

bool QRCode::isDark(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_size || y >= m_size) {
        return false;
    }
    return m_dark[static_cast<std::size_t>(y) * m_size + x] != 0;
}

} // namespace qm
