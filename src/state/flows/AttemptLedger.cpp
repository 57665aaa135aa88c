#include "state/flows/AttemptLedger.h"

#include "core/encoding/AsciiCase.h"
#include "core/json/JSONReader.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <iostream>

namespace qm {
namespace {

void say(const std::string& line) {
    std::cout << "[TX] " << line << std::endl;
}

std::optional<std::string> readText(const std::filesystem::path& file) {
    const std::optional<Bytes> bytes = readFileIfExists(file);
    if (!bytes) {
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size());
}

} // namespace

AttemptLedger::AttemptLedger(QObject* parent) : QObject(parent) {}

AttemptLedger::AttemptLedger(std::filesystem::path file, QObject* parent)
    : QObject(parent), m_file(std::move(file)) {}

AttemptLedger::~AttemptLedger() = default;

std::filesystem::path AttemptLedger::defaultFile() {
    return appDataDirectory() / "unsettled-attempts.json";
}

void AttemptLedger::load() {
    if (!m_file) {
        return;
    }
    m_kept.reset();
    std::vector<UnsettledAttempt> loaded;
    std::optional<UnreadableAttempts> found;
    bool rewrite = false;
    std::optional<std::string> text;
    try {
        text = readText(*m_file);
    } catch (const std::exception& error) {
        found = UnreadableAttempts{{}, 0, error.what(), *m_file};
    }
    if (text) {
        const std::optional<nlohmann::json> stored = JSONReader::tryRead(*text, JSONReader::stored);
        const bool whole = !stored || !stored->is_array();
        std::vector<std::size_t> unparsed;
        for (std::size_t i = 0; !whole && i < stored->size(); ++i) {
            try {
                loaded.push_back(attemptFromJSON((*stored)[i]));
            } catch (const std::exception&) {
                unparsed.push_back(i);
            }
        }
        if (whole || !unparsed.empty()) {
            found = UnreadableAttempts{{}, unparsed.size(), {}, *m_file};
            try {
                found->aside = setAttemptsAside(
                    *m_file, whole ? *text : arrayElementsAsTheyStand(*text, unparsed));
            } catch (const std::exception& error) {
                found->failure = error.what();
            }
            rewrite = !found->aside.empty() && !whole;
            if (!found->aside.empty() && whole) {
                try {
                    removeFileIfExists(*m_file);
                } catch (const std::exception& error) {
                    // Set aside already: the next write replaces it.
                    say(std::string("Cannot remove the unreadable unsettled transactions: ") +
                        error.what());
                }
            }
        }
    }
    if (found && found->aside.empty()) {
        m_kept = found->failure;
    }
    m_attempts = std::move(loaded);
    if (rewrite) {
        saveOrSay("Cannot write the unsettled transactions");
    }
    if (found) {
        say(unreadableAttemptsNotice(*found).toStdString());
        setUnreadable(std::move(found));
    } else if (m_unreadable && m_unreadable->aside.empty()) {
        setUnreadable(std::nullopt);
    }
    emit changed();
}

void AttemptLedger::clear() {
    m_attempts.clear();
    m_kept.reset();
    if (m_file) {
        removeFileIfExists(*m_file);
        for (const std::filesystem::path& aside : attemptsAsides(*m_file)) {
            removeFileIfExists(aside);
        }
    }
    setUnreadable(std::nullopt);
    emit changed();
}

void AttemptLedger::dismissUnreadable() {
    setUnreadable(std::nullopt);
}

void AttemptLedger::setUnreadable(std::optional<UnreadableAttempts> found) {
    if (!found && !m_unreadable) {
        return;
    }
    m_unreadable = std::move(found);
    emit unreadableChanged();
}

std::vector<UnsettledAttempt> AttemptLedger::of(Chain chain, std::string_view account) const {
    std::vector<UnsettledAttempt> found;
    std::copy_if(m_attempts.begin(), m_attempts.end(), std::back_inserter(found),
                 [&](const UnsettledAttempt& a) {
                     return a.chain == chain && equalIgnoringASCIICase(a.account, account);
                 });
    return found;
}

std::optional<UnsettledAttempt> AttemptLedger::find(std::string_view id) const {
    const auto found = std::find_if(m_attempts.begin(), m_attempts.end(),
                                    [&](const UnsettledAttempt& a) { return a.id == id; });
    return found == m_attempts.end() ? std::nullopt : std::optional(*found);
}

void AttemptLedger::keep(UnsettledAttempt attempt) {
    const std::vector<UnsettledAttempt> before = m_attempts;
    const auto found = std::find_if(m_attempts.begin(), m_attempts.end(),
                                    [&](const UnsettledAttempt& a) { return a.id == attempt.id; });
    if (found != m_attempts.end()) {
        attempt.createdAt = found->createdAt;
        attempt.told = attempt.told || found->told;
        attempt.toldElsewhere = found->toldElsewhere;
        if (*found == attempt) {
            return;
        }
        *found = std::move(attempt);
    } else {
        m_attempts.push_back(std::move(attempt));
    }
    try {
        save();
    } catch (...) {
        m_attempts = before;
        throw;
    }
    emit changed();
}

void AttemptLedger::markTold(std::string_view id, bool elsewhere) {
    const auto found = std::find_if(m_attempts.begin(), m_attempts.end(),
                                    [&](const UnsettledAttempt& a) { return a.id == id; });
    if (found == m_attempts.end()) {
        return;
    }
    const UnsettledAttempt told = *found;
    bool changedAny = false;
    for (UnsettledAttempt& attempt : m_attempts) {
        if (attempt.id == told.id) {
            // Seen where it was sent, it is told for good; told elsewhere, only if it was not.
            const bool toldElsewhere = elsewhere ? !attempt.told || attempt.toldElsewhere : false;
            changedAny = changedAny || !attempt.told || attempt.toldElsewhere != toldElsewhere;
            attempt.told = true;
            attempt.toldElsewhere = toldElsewhere;
        } else if (!attempt.told && shareConflict(attempt, told)) {
            attempt.told = true;
            changedAny = true;
        }
    }
    if (!changedAny) {
        return;
    }
    // Not written, the stored one stays untold: it holds back the next press once more.
    saveOrSay("Cannot write the unsettled transactions");
    emit changed();
}

void AttemptLedger::forget(std::string_view id) {
    const auto removed =
        std::erase_if(m_attempts, [&](const UnsettledAttempt& a) { return a.id == id; });
    if (removed == 0) {
        return;
    }
    // Not written, the stored one stays: it is looked at again, and settled again, later.
    saveOrSay("Cannot write the unsettled transactions");
    emit changed();
}

void AttemptLedger::save() const {
    if (!m_file) {
        return;
    }
    if (m_kept) {
        // Written now, what it holds and could not be set aside would be lost.
        throw FileError(
            "the unsettled transactions file could not be read or set aside: " + *m_kept, EIO);
    }
    nlohmann::json list = nlohmann::json::array();
    for (const UnsettledAttempt& attempt : m_attempts) {
        list.push_back(attemptToJSON(attempt));
    }
    ensureDirectory(m_file->parent_path(), 0700);
    const std::string text = list.dump();
    writeFileAtomically(*m_file, utf8View(text), 0600);
}

void AttemptLedger::saveOrSay(const char* what) {
    try {
        save();
    } catch (const std::exception& error) {
        say(std::string(what) + ": " + error.what());
    }
}

} // namespace qm
