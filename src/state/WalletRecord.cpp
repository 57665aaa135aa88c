#include "state/WalletRecord.h"

#include "core/crypto/BIP32.h"
#include "core/model/JSONFields.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace qm {
namespace {

std::optional<std::uint32_t> normalIndex(const nlohmann::json& value) {
    if (!value.is_number_unsigned() || value.get<std::uint64_t>() >= kHardenedIndex) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value.get<std::uint64_t>());
}

std::optional<BTCAddressIndices> readIndices(const nlohmann::json& record, std::int64_t count) {
    const auto found = record.find(btcAddressIndicesKey);
    if (found == record.end() || !found->is_object()) {
        return std::nullopt;
    }
    const auto list = found->find("indices");
    const auto next = found->find("next");
    if (list == found->end() || !list->is_array() || next == found->end()) {
        return std::nullopt;
    }
    BTCAddressIndices indices;
    if (next->is_number_unsigned() && next->get<std::uint64_t>() <= kHardenedIndex) {
        indices.next = static_cast<std::uint32_t>(next->get<std::uint64_t>());
    } else {
        return std::nullopt;
    }
    if (list->size() > static_cast<std::size_t>(maxBTCAddresses)) {
        return std::nullopt;
    }
    for (const nlohmann::json& entry : *list) {
        const std::optional<std::uint32_t> index = normalIndex(entry);
        if (!index) {
            return std::nullopt;
        }
        indices.indices.push_back(*index);
    }
    if (!indices.isValid() || static_cast<std::int64_t>(indices.indices.size()) != count) {
        return std::nullopt;
    }
    return indices;
}

} // namespace

BTCAddressIndices BTCAddressIndices::sequential(std::int64_t count) {
    const std::int64_t clamped = std::clamp<std::int64_t>(count, 0, maxBTCAddresses);
    BTCAddressIndices result;
    for (std::int64_t i = 0; i < clamped; ++i) {
        result.indices.push_back(static_cast<std::uint32_t>(i));
    }
    result.next = static_cast<std::uint32_t>(clamped);
    return result;
}

bool BTCAddressIndices::isValid() const {
    if (next > kHardenedIndex) {
        return false;
    }
    if (!indices.empty() && indices.front() != 0) {
        return false;
    }
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (indices[i] >= next || (i > 0 && indices[i] <= indices[i - 1])) {
            return false;
        }
    }
    return true;
}

Bytes encodeWalletRecord(const Wallet& wallet, const BTCAddressIndices& indices) {
    nlohmann::json json = walletToJSON(wallet, DateCoding::secondsSinceReferenceDate);
    json[std::string(btcAddressIndicesKey)] = {{"indices", indices.indices},
                                               {"next", indices.next}};
    const std::string text = json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return Bytes(text.begin(), text.end());
}

std::optional<StoredWalletRecord> decodeWalletRecord(ByteView bytes) {
    try {
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        const nlohmann::json json = json_fields::parse(text);
        StoredWalletRecord record{walletFromJSON(json, DateCoding::secondsSinceReferenceDate), {}};
        record.btcAddressIndices = readIndices(json, record.wallet.btcAddressCount);
        return record;
    } catch (const JSONDecodingError&) {
        return std::nullopt;
    }
}

} // namespace qm
