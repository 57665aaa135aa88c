// Sealing and opening type 0 envelopes of 1 KiB, the wallet's way (sealType0Envelope and
// openType0Envelope over OpenSSL, Base64 text both ways as on the relay), against
// @walletconnect/utils' encrypt/decrypt in Node on the same machine (utils_rate.mjs).
// Each side: 10,000 seals, then 10,000 openings, best of 5 rounds after a warm-up.
// Goal: ours at least 2x the library's rate.

#include "../BenchRun.h"
#include "platform/Crypto.h"
#include "services/walletconnect/WCEnvelope.h"

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A short run (BenchRun.h): 500 per round, one round.
const int kCount = qm::bench::fullOrShort(10'000, 500);
constexpr int kSize = 1024;
const int kRounds = qm::bench::fullOrShort(5, 1);

struct Times {
    double seal = 1e9; // seconds for kCount
    double open = 1e9;
};

Times ours() {
    const qm::Bytes key = qm::crypto::randomBytes(32);
    const std::string alphabet =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789{}\":,";
    qm::Bytes message = qm::crypto::randomBytes(kSize);
    for (auto& byte : message) {
        byte = static_cast<std::uint8_t>(alphabet[byte % alphabet.size()]);
    }
    Times best;
    std::vector<std::string> sealed(kCount);
    for (int round = 0; round <= kRounds; ++round) {
        const auto start = Clock::now();
        for (auto& text : sealed) {
            text = qm::envelopeText(qm::sealType0Envelope(message, key));
        }
        const auto middle = Clock::now();
        for (const auto& text : sealed) {
            const auto envelope = qm::envelopeFromText(text);
            if (!envelope || qm::openType0Envelope(*envelope, key).size() != kSize) {
                std::fprintf(stderr, "opened wrong\n");
                std::exit(1);
            }
        }
        const auto end = Clock::now();
        if (round == 0) {
            continue; // warm-up
        }
        best.seal = std::min(best.seal, std::chrono::duration<double>(middle - start).count());
        best.open = std::min(best.open, std::chrono::duration<double>(end - middle).count());
    }
    return best;
}

std::optional<std::pair<Times, std::string>> library() {
    const QString node = QStandardPaths::findExecutable("node");
    if (node.isEmpty()) {
        return std::nullopt;
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(node, {QString(QM_SOURCE_DIR) + "/bench/walletconnect/utils_rate.mjs",
                         QString::number(kCount), QString::number(kSize)});
    if (!process.waitForFinished(600'000) || process.exitCode() != 0) {
        return std::nullopt;
    }
    const auto line = nlohmann::json::parse(process.readAllStandardOutput().toStdString());
    return std::pair{Times{line["sealSeconds"].get<double>(), line["openSeconds"].get<double>()},
                     line["node"].get<std::string>()};
}

void report(const char* what, double oursSeconds, double theirsSeconds) {
    std::printf("%-14s ours %9.0f /s   @walletconnect/utils %9.0f /s   ratio %.1fx\n", what,
                kCount / oursSeconds, kCount / theirsSeconds, theirsSeconds / oursSeconds);
}

} // namespace

int main() {
    std::printf("Type 0 envelopes of %d bytes, %d per round, best of %d rounds (Base64 text "
                "included on both sides).\n\n",
                kSize, kCount, kRounds);
    const Times mine = ours();
    const auto theirs = library();
    if (!theirs) {
        std::printf("ours: seal %.0f /s, open %.0f /s; the Node reference did not run "
                    "(scripts/install-deps installs tests/peers)\n",
                    kCount / mine.seal, kCount / mine.open);
        return 1;
    }
    const Times& lib = theirs->first;
    report("seal", mine.seal, lib.seal);
    report("open", mine.open, lib.open);
    report("seal + open", mine.seal + mine.open, lib.seal + lib.open);
    std::printf("\nReference: Node %s. Goal: seal + open ratio >= 2x.\n", theirs->second.c_str());
    return 0;
}
