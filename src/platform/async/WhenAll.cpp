#include "platform/async/WhenAll.h"

#include <exception>

namespace qm {

QCoro::Task<void> whenAll(std::vector<QCoro::Task<void>> children) {
    std::exception_ptr firstFailure;
    for (QCoro::Task<void>& child : children) {
        try {
            co_await child;
        } catch (...) {
            if (!firstFailure) {
                firstFailure = std::current_exception();
            }
        }
    }
    if (firstFailure) {
        std::rethrow_exception(firstFailure);
    }
}

} // namespace qm
