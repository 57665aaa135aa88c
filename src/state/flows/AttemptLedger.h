#pragma once
// The wallet's unsettled transactions (UnsettledAttempt), by account and chain, kept in the
// wallet's folder ("unsettled-attempts.json", owner-only, written whole, synced, renamed into
// place) from before their bytes leave until the chain settles them. Every flow that signs
// asks it first (SignedBroadcast.h, "Earlier attempts"): the binding is the account's, whichever
// sheet or dApp request asks, and it outlives the process.
//
// A ledger without a file keeps its attempts in memory only (a flow that was given none).
// GUI thread only; the file is written on another (FileWriteQueue), in the order of the changes,
// and read, removed or left behind only once the writes under way have ended.

#include "core/model/Chain.h"
#include "state/flows/UnreadableAttempts.h"
#include "state/flows/UnsettledAttempt.h"

#include <QObject>
#include <filesystem>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

class AttemptLedger : public QObject {
    Q_OBJECT

public:
    // In memory only.
    explicit AttemptLedger(QObject* parent = nullptr);
    // Kept in `file`, read by load().
    explicit AttemptLedger(std::filesystem::path file, QObject* parent = nullptr);
    // Waits for the writes under way: the file holds the last change.
    ~AttemptLedger() override;

    // The wallet's folder's "unsettled-attempts.json".
    static std::filesystem::path defaultFile();

    // Reads the file, replacing what is held. A file that is not a list of attempts is set
    // aside whole, byte for byte, and removed; the attempts in it that do not parse are set
    // aside as they stand and the rest kept (UnreadableAttempts.h). The file is only replaced
    // once what it held is set aside: else it stays as it is, and nothing is written (keep
    // throws) until a later load sets it aside. Each is said in one line and in unreadable();
    // never throws.
    void load();
    // Forgets every attempt and removes the file and what was set aside beside it (a new or
    // deleted wallet). Throws FileError when the file stays.
    void clear();

    // What the last load that found anything unreadable found, until dismissed or cleared
    // (one that stayed where it was is dropped by a later load that reads the file).
    const std::optional<UnreadableAttempts>& unreadable() const { return m_unreadable; }
    void dismissUnreadable();

    const std::vector<UnsettledAttempt>& all() const { return m_attempts; }
    // The attempts of `account` on `chain`, oldest first (addresses compared in any case).
    std::vector<UnsettledAttempt> of(Chain chain, std::string_view account) const;
    std::optional<UnsettledAttempt> find(std::string_view id) const;

    // Adds `attempt`, or replaces the one of its id (keeping when it was first sent and
    // whether and where it was told). Held at once; the task ends once it is written, off the
    // GUI thread: it throws FileError, and holds nothing new, when it could not be (the caller
    // must not send then).
    QCoro::Task<void> keep(UnsettledAttempt attempt);
    // The user saw it leave (`elsewhere`: another sheet told them it went through). So did
    // they, in effect, every attempt that can only land instead of it (it shares its
    // conflict): none of them holds back a new signing any more. Nothing for an unknown id.
    // Held at once and written soon after, off the GUI thread; a write that fails is said.
    void markTold(std::string_view id, bool elsewhere = false);
    // The chain settled it (it landed, or it can never land). Written as markTold is.
    void forget(std::string_view id);

signals:
    // Any attempt was added, changed or removed.
    void changed();
    void unreadableChanged();

private:
    // Writes the list now, on this thread; throws FileError.
    void save() const;
    void saveOrSay(const char* what);
    // Writes the list as it is now, after the writes under way; says when it could not.
    void saveLater();
    // The keep of `id` could not be written: the attempt it replaced (if any) comes back.
    void undoKeep(const std::string& id, const std::optional<UnsettledAttempt>& replaced);
    // Throws FileError while the file holds what could not be set aside.
    void checkWritable() const;
    void setUnreadable(std::optional<UnreadableAttempts> found);

    std::optional<std::filesystem::path> m_file;
    std::vector<UnsettledAttempt> m_attempts;
    std::optional<UnreadableAttempts> m_unreadable;
    // Why the file must not be written: it holds what could not be set aside.
    std::optional<std::string> m_kept;
};

} // namespace qm
