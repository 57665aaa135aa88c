// Throughput of our Keccak-256 and RIPEMD-160 against OpenSSL's SHA3-256 (the
// same Keccak-f[1600] permutation and rate) and RIPEMD-160, as ratios ours/OpenSSL.
//
// OpenSSL is measured at its best: the digest is fetched once and one context is
// reused (EVP_DigestInit_ex2 / Update / Final_ex per hash), so its one-shot
// fetch overhead is not counted against it. Ours is measured through the entry
// the wallet uses (keccak256(), ripemd160()), result vector included. Each figure
// is the best of several interleaved rounds.

#include "../BenchRun.h"
#include "core/crypto/Keccak.h"
#include "core/crypto/Ripemd160.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <openssl/evp.h>

namespace {

using Clock = std::chrono::steady_clock;

volatile std::uint8_t sink;

class OpenSSLDigest {
public:
    explicit OpenSSLDigest(const char* name)
        : md_(EVP_MD_fetch(nullptr, name, nullptr)), ctx_(EVP_MD_CTX_new()) {
        if (md_ == nullptr || ctx_ == nullptr) {
            std::fprintf(stderr, "OpenSSL digest %s unavailable\n", name);
            std::exit(1);
        }
    }
    ~OpenSSLDigest() {
        EVP_MD_CTX_free(ctx_);
        EVP_MD_free(md_);
    }
    OpenSSLDigest(const OpenSSLDigest&) = delete;
    OpenSSLDigest& operator=(const OpenSSLDigest&) = delete;

    void hash(const std::uint8_t* data, std::size_t size) {
        std::uint8_t out[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (EVP_DigestInit_ex2(ctx_, md_, nullptr) != 1 ||
            EVP_DigestUpdate(ctx_, data, size) != 1 ||
            EVP_DigestFinal_ex(ctx_, out, &length) != 1) {
            std::fprintf(stderr, "OpenSSL digest failed\n");
            std::exit(1);
        }
        sink = out[0];
    }

private:
    EVP_MD* md_;
    EVP_MD_CTX* ctx_;
};

// Seconds per call, over `iterations` calls.
double timePerCall(const std::function<void()>& call, long iterations) {
    const auto start = Clock::now();
    for (long i = 0; i < iterations; ++i) {
        call();
    }
    return std::chrono::duration<double>(Clock::now() - start).count() /
           static_cast<double>(iterations);
}

struct Result {
    double ours;   // seconds per call
    double theirs; // seconds per call
};

// Rounds of a measuring run; a short run (BenchRun.h) takes 2.
const int kRounds = qm::bench::fullOrShort(21, 2);

// Best of kRounds interleaved rounds of ours and theirs, each a few milliseconds.
Result compare(const std::function<void()>& ours, const std::function<void()>& theirs,
               std::size_t inputSize) {
    const long iterations = std::max(
        20L, static_cast<long>(qm::bench::fullOrShort(4'000'000, 200'000) / (inputSize + 64)));
    Result best{1e9, 1e9};
    timePerCall(ours, iterations / 4); // warm-up
    timePerCall(theirs, iterations / 4);
    for (int round = 0; round < kRounds; ++round) {
        best.ours = std::min(best.ours, timePerCall(ours, iterations));
        best.theirs = std::min(best.theirs, timePerCall(theirs, iterations));
    }
    return best;
}

void report(const char* name, std::size_t size, const Result& r) {
    const double mbOurs = static_cast<double>(size) / r.ours / 1e6;
    const double mbTheirs = static_cast<double>(size) / r.theirs / 1e6;
    std::printf("%-28s %6zu B   ours %8.1f MB/s (%7.0f ns)   OpenSSL %8.1f MB/s (%7.0f ns)   "
                "ratio %.2fx\n",
                name, size, mbOurs, r.ours * 1e9, mbTheirs, r.theirs * 1e9, r.theirs / r.ours);
}

} // namespace

int main() {
    std::printf("Throughput ratio = ours / OpenSSL (higher is better for ours). OpenSSL uses a\n"
                "pre-fetched EVP_MD and one reused EVP_MD_CTX; ours goes through keccak256()/\n"
                "ripemd160(). Best of %d interleaved rounds.\n\n",
                kRounds);
    OpenSSLDigest sha3("SHA3-256");
    OpenSSLDigest ripemd("RIPEMD160");
    for (std::size_t size : {std::size_t{64}, std::size_t{16384}}) {
        qm::Bytes data(size);
        for (std::size_t i = 0; i < size; ++i) {
            data[i] = static_cast<std::uint8_t>(i * 131 + 7);
        }
        const Result keccak = compare([&] { sink = qm::keccak256(data)[0]; },
                                      [&] { sha3.hash(data.data(), data.size()); }, size);
        report("Keccak-256 vs SHA3-256", size, keccak);
        const Result rmd = compare([&] { sink = qm::ripemd160(data)[0]; },
                                   [&] { ripemd.hash(data.data(), data.size()); }, size);
        report("RIPEMD-160 vs RIPEMD-160", size, rmd);
    }
    std::printf("\nGoal: Keccak-256 >= 0.80x at 16 KiB and >= 1.00x at 64 B.\n");
    return 0;
}
