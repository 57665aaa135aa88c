// The bounded JSON reader's time per MB, against nlohmann's own plain parser (no limits, no
// duplicate check) on the same text, for documents of 1, 10, 16 (the largest reply any client
// accepts) and 60 MB of four shapes: many
// small objects, many empty objects (the shape that once made the reader quadratic), one long
// array of numbers, and deep-but-legal nesting (items nested 255 deep, inside the limit of
// 256). Goal: the largest document within 1.3x of the smallest per MB, and none under a
// client's cap (16 MiB at most) above 1 s. Each figure is the best of three runs.

#include "../BenchRun.h"
#include "core/json/JSONReader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Repeats `item` (comma-separated, in one array) until the text has about `bytes` bytes.
std::string arrayOf(const std::string& item, std::size_t bytes) {
    std::string text = "[";
    text.reserve(bytes + item.size() + 2);
    while (text.size() + item.size() + 2 < bytes) {
        if (text.size() > 1) {
            text += ',';
        }
        text += item;
    }
    text += ']';
    return text;
}

std::string nestedItem(std::size_t depth) {
    return std::string(depth, '[') + "7" + std::string(depth, ']');
}

double bestSeconds(const std::function<std::size_t()>& run) {
    double best = 1e30;
    for (int i = 0; i < qm::bench::fullOrShort(3, 1); ++i) {
        const auto start = Clock::now();
        volatile std::size_t size = run();
        (void)size;
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

long peakResidentMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

} // namespace

int main() {
    constexpr qm::JSONReader::Limits limits{64u << 20, 256};
    const struct {
        const char* name;
        std::string item;
    } shapes[] = {
        {"small objects", R"({"id":1234,"ok":true,"name":"abc"})"},
        {"empty objects", "{}"},
        {"number array", "1234567"},
        {"nesting 255 deep", nestedItem(255)},
    };
    std::printf("%-18s %6s %12s %12s %9s %12s\n", "document", "MB", "reader ms", "ms per MB",
                "vs plain", "peak MiB");
    for (const auto& shape : shapes) {
        double smallest = 0, largest = 0;
        // A short run (BenchRun.h): 1 and 2 MB only.
        const std::vector<std::size_t> sizes =
            qm::bench::fullOrShort<std::vector<std::size_t>>({1, 10, 16, 60}, {1, 2});
        for (const std::size_t mb : sizes) {
            const std::string text = arrayOf(shape.item, mb << 20);
            const double ours =
                bestSeconds([&] { return qm::JSONReader::read(text, limits).size(); });
            const double plain = bestSeconds([&] { return nlohmann::json::parse(text).size(); });
            const double perMB = ours * 1000 / static_cast<double>(mb);
            (mb == 1 ? smallest : largest) = perMB;
            std::printf("%-18s %6zu %12.1f %12.1f %8.2fx %12ld\n", shape.name, mb, ours * 1000,
                        perMB, ours / plain, peakResidentMiB());
        }
        std::printf("%-18s %zu MB per MB / 1 MB per MB: %.2fx (goal <= 1.3x at 60 MB)\n",
                    shape.name, sizes.back(), largest / smallest);
    }
    return 0;
}
