#include "platform/Error.h"

#include <cstdio>
#include <cstdlib>

namespace qm {

void fatalError(const char* message) {
    if (message != nullptr && *message != '\0') {
        std::fprintf(stderr, "Fatal error: %s\n", message);
    }
    std::abort();
}

} // namespace qm
