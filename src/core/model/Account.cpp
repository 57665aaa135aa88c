#include "core/model/Account.h"

#include "core/model/JSONFields.h"

#include <nlohmann/json.hpp>

namespace qm {

std::string accountID(Chain chain, std::int64_t index) {
    return accountIDPrefix(chain) + std::to_string(index);
}

void to_json(nlohmann::json& json, const Account& account) {
    json = nlohmann::json{{"id", account.id},
                          {"chain", account.chain},
                          {"index", account.index},
                          {"address", account.address},
                          {"derivationPath", account.derivationPath}};
}

void from_json(const nlohmann::json& json, Account& account) {
    using namespace json_fields;
    requireObject(json);
    Account decoded;
    decoded.id = requireString(json, "id");
    decoded.chain = knownValue(chainFromRawValue(requireString(json, "chain")), "chain");
    decoded.index = requireInt64(json, "index");
    decoded.address = requireString(json, "address");
    decoded.derivationPath = requireString(json, "derivationPath");
    account = std::move(decoded);
}

} // namespace qm
