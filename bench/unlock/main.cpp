// Unlock cost: KeychainManager::loadSeed (three file reads, the password check, PBKDF2 and
// opening the sealed seed) against bare PBKDF2-HMAC-SHA512 of 100,000 rounds, measured
// interleaved in the same run. Goal: loadSeed <= 1.05 x PBKDF2.
//
// Then the longest stall of the GUI thread's event loop (the largest gap between the ticks of
// a 1 ms timer) during an unlock, a wallet creation and a signing through the application
// state and its signer, against the same steps run on the GUI thread (as the window did
// before they moved to the signing worker). Goal: <= 16 ms (one frame).
#include "../BenchRun.h"
#include "StallMeter.h"
#include "core/storage/KeychainManager.h"
#include "platform/Crypto.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

using namespace qm;
using Clock = std::chrono::steady_clock;

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename F> double millis(F&& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : bench::fullOrShort(25, 3);
    std::string pattern =
        (std::filesystem::temp_directory_path() / "qm-bench-unlock.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path root = pattern;
    int result = 0;
    {
        // File mode: no keychain, the items live in the temporary folder.
        KeychainManager manager(KeychainManager::Config{nullptr, root, {}, {}});
        const std::string id = "0B7E1C9A-5D4F-4A3B-8C2D-1E0F9A8B7C6D";
        const std::string password = "correct horse battery staple";
        const Bytes seed = crypto::randomBytes(64);
        manager.storeSeed(seed, id, password);
        const Bytes salt = crypto::randomBytes(16);

        std::vector<double> unlock;
        std::vector<double> bare;
        for (int i = 0; i < rounds; ++i) {
            bare.push_back(millis([&] {
                const SecureBytes key =
                    crypto::pbkdf2HmacSha512(utf8View(password), salt, 100'000, 32);
            }));
            unlock.push_back(millis([&] {
                if (manager.loadSeed(id, password).size() != seed.size()) {
                    result = 1;
                }
            }));
        }
        const double u = median(unlock);
        const double b = median(bare);
        std::printf("bench_unlock: %d rounds, medians: loadSeed %.2f ms, PBKDF2-HMAC-SHA512 "
                    "100000 rounds %.2f ms, ratio %.3fx (goal <= 1.05x)\n",
                    rounds, u, b, u / b);
    }
    std::filesystem::remove_all(root);
    if (result == 0) {
        result = measureStalls(std::max(3, rounds / 3));
    }
    return result;
}
