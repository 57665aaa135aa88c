#pragma once
// The short run every bench offers: with QM_BENCH_SHORT set (as the test suite runs them),
// a bench measures a few seconds' worth of its cases instead of its full counts, prints its
// figures as always (they mean little then) and still ends with a failure when what it
// measures fails or never finishes.

#include <cstdlib>
#include <string_view>

namespace qm::bench {

inline bool shortRun() {
    const char* value = std::getenv("QM_BENCH_SHORT");
    return value != nullptr && *value != '\0' && std::string_view(value) != "0";
}

// `full` in a measuring run, `brief` in a short one.
template <typename T> T fullOrShort(T full, T brief) {
    return shortRun() ? brief : full;
}

} // namespace qm::bench
