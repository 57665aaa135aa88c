#include "core/storage/TokenStore.h"

#include "core/encoding/AsciiCase.h"
#include "core/model/Date.h"
#include "core/model/JSONFields.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"

#include <algorithm>
#include <iostream>
#include <nlohmann/json.hpp>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

namespace qm {
namespace {

void log(const std::string& line) {
    std::cout << "[TokenStore] " << line << std::endl;
}

// "20250131T093000Z": a file-name-safe form of the current time.
std::string compactTimestamp() {
    std::string text = iso8601String(Date::now()).value_or("unknown-time");
    std::erase(text, '-');
    std::erase(text, ':');
    return text;
}

} // namespace

TokenStore& TokenStore::shared() {
    static TokenStore store(appDataDirectory() / "tokens.json");
    return store;
}

TokenStore::TokenStore(std::filesystem::path fileURL) : fileURL_(std::move(fileURL)) {
    const std::filesystem::path folder = fileURL_.parent_path();
    std::error_code error;
    if (!folder.empty() && !std::filesystem::exists(folder, error)) {
        try {
            ensureDirectory(folder);
        } catch (const FileError&) {
            // The first write reports the folder's absence to its caller.
        }
    }
}

std::vector<Token> TokenStore::tokens(Chain chain) const {
    const auto found = tokensByChain.find(rawValue(chain));
    return found == tokensByChain.end() ? std::vector<Token>{} : found->second;
}

TokenStore::AddResult TokenStore::add(const Token& token) {
    return addAll({token});
}

TokenStore::AddResult TokenStore::addAll(const std::vector<Token>& tokens) {
    // The lower-cased addresses each touched chain holds, built once per chain.
    std::unordered_map<std::string, std::unordered_set<std::string>> held;
    bool changed = false;
    for (const Token& token : tokens) {
        const std::string& key = rawValue(token.chain);
        auto [found, fresh] = held.try_emplace(key);
        if (fresh) {
            if (const auto stored = tokensByChain.find(key); stored != tokensByChain.end()) {
                for (const Token& existing : stored->second) {
                    found->second.insert(lowercaseASCII(existing.contractAddress));
                }
            }
        }
        if (found->second.insert(lowercaseASCII(token.contractAddress)).second) {
            tokensByChain[key].push_back(token);
            changed = true;
        }
    }
    return changed ? save() : AddResult::duplicate;
}

TokenStore::LoadResult TokenStore::load() {
    std::optional<Bytes> bytes;
    try {
        bytes = readFileIfExists(fileURL_);
    } catch (const FileError& error) {
        log(std::string("Could not read tokens.json: ") + error.what());
        fileChecked_ = false;
        return LoadResult::unreadable;
    }
    if (!bytes) {
        fileChecked_ = true;
        return LoadResult::noFile;
    }
    try {
        tokensByChain = decodeFile(*bytes);
    } catch (const JSONDecodingError& error) {
        log(std::string("tokens.json does not decode (") + error.what() +
            "); it is kept and set aside before the next save");
        fileChecked_ = false;
        return LoadResult::unreadable;
    }
    fileChecked_ = true;
    return LoadResult::loaded;
}

void TokenStore::removeAll() {
    tokensByChain.clear();
    removeFileIfExists(fileURL_);
    fileChecked_ = true;
}

Bytes TokenStore::encodeFile(const TokenMap& tokens) {
    // Invalid UTF-8 from a contract's name must not make every later save fail.
    const std::string text =
        tokenMapToJSON(tokens).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return Bytes(text.begin(), text.end());
}

TokenMap TokenStore::decodeFile(ByteView bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return tokenMapFromJSON(json_fields::parse(text));
}

bool TokenStore::setAsideUnreadableFile() {
    try {
        const std::optional<Bytes> bytes = readFileIfExists(fileURL_);
        if (!bytes) {
            return true;
        }
        decodeFile(*bytes);
        return true;
    } catch (const Error&) {
        // Unreadable or undecodable: keep it under another name below.
    }
    const std::string base = fileURL_.filename().string() + ".unreadable-" + compactTimestamp();
    std::filesystem::path aside = fileURL_.parent_path() / base;
    std::error_code error;
    for (int n = 2; std::filesystem::exists(aside, error) && n < 1000; ++n) {
        aside = fileURL_.parent_path() / (base + "-" + std::to_string(n));
    }
    std::filesystem::rename(fileURL_, aside, error);
    if (error) {
        lastSaveError_ = "Could not move the unreadable tokens.json aside: " + error.message();
        log(lastSaveError_);
        return false;
    }
    log("Moved the unreadable tokens.json aside to " + aside.filename().string());
    return true;
}

TokenStore::AddResult TokenStore::save() {
    if (!fileChecked_) {
        if (!setAsideUnreadableFile()) {
            return AddResult::notSaved;
        }
        fileChecked_ = true;
    }
    try {
        writeFileAtomically(fileURL_, encodeFile(tokensByChain));
    } catch (const FileError& error) {
        lastSaveError_ = std::string("Could not save tokens.json: ") + error.what();
        log(lastSaveError_);
        return AddResult::notSaved;
    }
    lastSaveError_.clear();
    return AddResult::added;
}

} // namespace qm
