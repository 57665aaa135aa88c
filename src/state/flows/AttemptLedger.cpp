#include "state/flows/AttemptLedger.h"

#include "core/encoding/AsciiCase.h"
#include "core/json/JSONReader.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "state/flows/FileWriteQueue.h"

#include <QCoroFuture>
#include <QPointer>
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

// The list as the file holds it; throws FileError.
void writeList(const std::filesystem::path& file, const std::vector<UnsettledAttempt>& attempts) {
    nlohmann::json list = nlohmann::json::array();
    for (const UnsettledAttempt& attempt : attempts) {
        list.push_back(attemptToJSON(attempt));
    }
    ensureDirectory(file.parent_path(), 0700);
    const std::string text = list.dump();
    writeFileAtomically(file, utf8View(text), 0600);
}

// The list as it is now, written after every write handed over before it.
QFuture<std::exception_ptr> writeListLater(const std::filesystem::path& file,
                                           std::vector<UnsettledAttempt> attempts) {
    return FileWriteQueue::append(
        [file, attempts = std::move(attempts)] { writeList(file, attempts); });
}

// Adds `attempt` to `loaded`, or, when an attempt of its id is there already (the same
// transaction stored under two spellings of its id), keeps that one, told only when both were:
// one transaction, one record. True for the latter.
bool keepOnce(std::vector<UnsettledAttempt>& loaded, UnsettledAttempt attempt) {
    const auto found = std::find_if(loaded.begin(), loaded.end(),
                                    [&](const UnsettledAttempt& a) { return a.id == attempt.id; });
    if (found == loaded.end()) {
        loaded.push_back(std::move(attempt));
        return false;
    }
    found->told = found->told && attempt.told;
    found->toldElsewhere = found->told && found->toldElsewhere && attempt.toldElsewhere;
    return true;
}

} // namespace

AttemptLedger::AttemptLedger(QObject* parent) : QObject(parent) {}

AttemptLedger::AttemptLedger(std::filesystem::path file, QObject* parent)
    : QObject(parent), m_file(std::move(file)) {}

AttemptLedger::~AttemptLedger() {
    if (m_file) {
        FileWriteQueue::waitForAll();
    }
}

std::filesystem::path AttemptLedger::defaultFile() {
    return appDataDirectory() / "unsettled-attempts.json";
}

void AttemptLedger::load() {
    if (!m_file) {
        return;
    }
    // A write handed over earlier must not land over what is read now.
    FileWriteQueue::waitForAll();
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
        bool merged = false;
        for (std::size_t i = 0; !whole && i < stored->size(); ++i) {
            try {
                merged = keepOnce(loaded, attemptFromJSON((*stored)[i])) || merged;
            } catch (const std::exception&) {
                unparsed.push_back(i);
            }
        }
        // The file holds each transaction once from now on.
        rewrite = merged;
        if (whole || !unparsed.empty()) {
            found = UnreadableAttempts{{}, unparsed.size(), {}, *m_file};
            try {
                found->aside = setAttemptsAside(
                    *m_file, whole ? *text : arrayElementsAsTheyStand(*text, unparsed));
            } catch (const std::exception& error) {
                found->failure = error.what();
            }
            // Only once what it held is set aside.
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
        // A write handed over earlier must not bring the file back.
        FileWriteQueue::waitForAll();
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

QCoro::Task<void> AttemptLedger::keep(UnsettledAttempt attempt) {
    checkWritable();
    std::optional<UnsettledAttempt> replaced;
    const auto found = std::find_if(m_attempts.begin(), m_attempts.end(),
                                    [&](const UnsettledAttempt& a) { return a.id == attempt.id; });
    if (found != m_attempts.end()) {
        attempt.createdAt = found->createdAt;
        attempt.told = attempt.told || found->told;
        attempt.toldElsewhere = found->toldElsewhere;
        if (*found == attempt) {
            co_return;
        }
        replaced = *found;
        *found = attempt;
    } else {
        m_attempts.push_back(attempt);
    }
    if (m_file) {
        const QPointer<AttemptLedger> self(this);
        QFuture<std::exception_ptr> writing = writeListLater(*m_file, m_attempts);
        const std::exception_ptr failure = co_await writing;
        if (failure) {
            if (self) {
                self->undoKeep(attempt.id, replaced);
            }
            std::rethrow_exception(failure);
        }
        if (!self) {
            co_return;
        }
    }
    emit changed();
}

void AttemptLedger::undoKeep(const std::string& id,
                             const std::optional<UnsettledAttempt>& replaced) {
    const auto found = std::find_if(m_attempts.begin(), m_attempts.end(),
                                    [&](const UnsettledAttempt& a) { return a.id == id; });
    if (found == m_attempts.end()) {
        return; // cleared or settled meanwhile
    }
    if (replaced) {
        // Only the keep is undone: whether it was told since stays.
        const bool told = found->told;
        const bool toldElsewhere = found->toldElsewhere;
        *found = *replaced;
        found->told = told;
        found->toldElsewhere = toldElsewhere;
    } else {
        m_attempts.erase(found);
    }
    // A write handed over while this one waited may have put it in the file.
    saveLater();
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
    saveLater();
    emit changed();
}

void AttemptLedger::forget(std::string_view id) {
    const auto removed =
        std::erase_if(m_attempts, [&](const UnsettledAttempt& a) { return a.id == id; });
    if (removed == 0) {
        return;
    }
    // Not written, the stored one stays: it is looked at again, and settled again, later.
    saveLater();
    emit changed();
}

void AttemptLedger::checkWritable() const {
    if (m_file && m_kept) {
        // Written now, what it holds and could not be set aside would be lost.
        throw FileError(
            "the unsettled transactions file could not be read or set aside: " + *m_kept, EIO);
    }
}

void AttemptLedger::save() const {
    checkWritable();
    if (m_file) {
        writeList(*m_file, m_attempts);
    }
}

void AttemptLedger::saveOrSay(const char* what) {
    try {
        save();
    } catch (const std::exception& error) {
        say(std::string(what) + ": " + error.what());
    }
}

void AttemptLedger::saveLater() {
    if (!m_file) {
        return;
    }
    try {
        checkWritable();
    } catch (const std::exception& error) {
        say(std::string("Cannot write the unsettled transactions: ") + error.what());
        return;
    }
    writeListLater(*m_file, m_attempts).then(this, [](std::exception_ptr failure) {
        try {
            if (failure) {
                std::rethrow_exception(failure);
            }
        } catch (const std::exception& error) {
            say(std::string("Cannot write the unsettled transactions: ") + error.what());
        }
    });
}

} // namespace qm
