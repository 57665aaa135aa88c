#pragma once
// Base of every component's error type: a fixed, user-facing text in what().

#include <stdexcept>
#include <string>

namespace qm {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Stops the process for a broken invariant that normal use cannot reach.
[[noreturn]] void fatalError(const char* message);

} // namespace qm
