#include "core/model/Wallet.h"

#include "core/model/JSONFields.h"
#include "platform/Crypto.h"

#include <nlohmann/json.hpp>

namespace qm {
namespace {

nlohmann::json dateToJSON(Date date, DateCoding dates) {
    if (dates == DateCoding::secondsSinceReferenceDate) {
        return date.secondsSinceReferenceDate;
    }
    auto text = exactISO8601String(date);
    if (!text) {
        throw JSONEncodingError("Date out of range for ISO 8601");
    }
    return *text;
}

Date dateFromJSON(const nlohmann::json& object, std::string_view key, DateCoding dates) {
    std::optional<Date> date;
    if (dates == DateCoding::secondsSinceReferenceDate) {
        date = Date{json_fields::requireDouble(object, key)};
    } else {
        date = dateFromISO8601(json_fields::requireString(object, key));
        if (!date) {
            throw JSONDecodingError(JSONDecodingError::Kind::wrongType, key);
        }
    }
    if (!date->isInSupportedRange()) {
        throw JSONDecodingError(JSONDecodingError::Kind::outOfRange, key);
    }
    return *date;
}

} // namespace

nlohmann::json walletToJSON(const Wallet& wallet, DateCoding dates) {
    return nlohmann::json{{"id", wallet.id},
                          {"name", wallet.name},
                          {"createdAt", dateToJSON(wallet.createdAt, dates)},
                          {"bitcoinAccountCount", wallet.bitcoinAccountCount},
                          {"ethereumAccountCount", wallet.ethereumAccountCount},
                          {"btcAddressCount", wallet.btcAddressCount}};
}

Wallet walletFromJSON(const nlohmann::json& json, DateCoding dates) {
    using namespace json_fields;
    requireObject(json);
    Wallet wallet;
    wallet.id = requireString(json, "id");
    wallet.name = requireString(json, "name");
    wallet.createdAt = dateFromJSON(json, "createdAt", dates);
    wallet.bitcoinAccountCount = requireInt64(json, "bitcoinAccountCount");
    wallet.ethereumAccountCount = requireInt64(json, "ethereumAccountCount");
    // Records written before the receive-address count existed lack it.
    wallet.btcAddressCount = optionalInt64(json, "btcAddressCount").value_or(5);
    return wallet;
}

Bytes encodeWalletMetadata(const Wallet& wallet) {
    const std::string text = walletToJSON(wallet, DateCoding::secondsSinceReferenceDate)
                                 .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return Bytes(text.begin(), text.end());
}

Wallet decodeWalletMetadata(ByteView bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return walletFromJSON(json_fields::parse(text), DateCoding::secondsSinceReferenceDate);
}

void to_json(nlohmann::json& json, const Wallet& wallet) {
    json = walletToJSON(wallet, DateCoding::secondsSinceReferenceDate);
}

void from_json(const nlohmann::json& json, Wallet& wallet) {
    wallet = walletFromJSON(json, DateCoding::secondsSinceReferenceDate);
}

std::string newWalletID() {
    Bytes random = crypto::randomBytes(16);
    random[6] = static_cast<std::uint8_t>((random[6] & 0x0F) | 0x40); // version 4
    random[8] = static_cast<std::uint8_t>((random[8] & 0x3F) | 0x80); // RFC 4122 variant
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < random.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += '-';
        }
        text += digits[random[i] >> 4];
        text += digits[random[i] & 0x0F];
    }
    return text;
}

bool isCanonicalUUID(std::string_view text) {
    if (text.size() != 36) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-') {
                return false;
            }
        } else if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return true;
}

} // namespace qm
