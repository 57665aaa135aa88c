#pragma once
// The user's custom tokens, grouped by chain and kept in "tokens.json" in the
// app data folder. Used from the GUI thread only; there is no lock.
//
// Failures are not silent: `add` tells the caller when the file could not be
// written (the token still stays added in memory, and the next successful
// `add` rewrites the whole file), and a file that cannot be decoded is moved
// aside, never overwritten, before the first write.

#include "core/model/Token.h"
#include "platform/Bytes.h"

#include <filesystem>
#include <string>
#include <vector>

namespace qm {

class TokenStore {
public:
    enum class AddResult {
        added,     // appended and written to the file
        duplicate, // the chain already holds this contract address (ignoring letter case)
        notSaved,  // appended in memory, but the file could not be written (see lastSaveError)
    };

    enum class LoadResult {
        loaded,     // the file decoded and replaced tokensByChain
        noFile,     // there is no file; tokensByChain is unchanged
        unreadable, // the file could not be read or decoded; tokensByChain is unchanged and
                    // the file is moved aside before the next write
    };

    // The store of the process: appDataDirectory() / "tokens.json", made on first use.
    static TokenStore& shared();

    // A store over `fileURL` (tests, or another folder). Creates the parent folder; a
    // failure there is left for the first write to report.
    explicit TokenStore(std::filesystem::path fileURL);

    TokenStore(const TokenStore&) = delete;
    TokenStore& operator=(const TokenStore&) = delete;

    const std::filesystem::path& fileURL() const { return fileURL_; }

    // The list filed under the chain's raw value; empty when there is none.
    std::vector<Token> tokens(Chain chain) const;

    // Appends `token` to its chain's list unless that list holds the same contract address
    // ignoring letter case (then nothing changes, in memory or on disk), and rewrites the
    // file. Write failures are logged with "[TokenStore]" and returned as notSaved.
    [[nodiscard]] AddResult add(const Token& token);
    // Adds each token as `add` does, in order (a token also counts as held once an earlier
    // one of the list added its address), and writes the file once. duplicate when none
    // was new; notSaved keeps the new ones in memory, as `add` does.
    [[nodiscard]] AddResult addAll(const std::vector<Token>& tokens);

    // Reads the file into tokensByChain (the launch step).
    LoadResult load();
    // Forgets every token and removes the file (a deleted wallet's). Throws FileError when
    // the file stays; the memory is empty either way.
    void removeAll();

    // Why the last write failed; empty after a successful one.
    const std::string& lastSaveError() const { return lastSaveError_; }

    // The file's bytes: compact JSON, one array of tokens per chain key. decodeFile throws
    // JSONDecodingError when the text or any token in it does not decode.
    static Bytes encodeFile(const TokenMap& tokens);
    static TokenMap decodeFile(ByteView bytes);

    // The tokens by chain raw value; assigned by its users at launch and after a restore.
    TokenMap tokensByChain;

private:
    // Moves an existing file that does not decode out of the way; false when it has to stay.
    bool setAsideUnreadableFile();
    AddResult save();

    std::filesystem::path fileURL_;
    // Whether the file on disk is known to be ours to replace: absent, decoded, or written by
    // this store. Until then it is checked before every write.
    bool fileChecked_ = false;
    std::string lastSaveError_;
};

} // namespace qm
