#pragma once
// Runs a coroutine to completion in a nested event loop and returns its result, rethrowing its
// exception. Use it instead of QCoro::waitFor in tests: QCoro 0.8's waitFor never returns when
// the task throws (its loop is only quit on success).

#include <QEventLoop>
#include <exception>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>
#include <type_traits>
#include <utility>

namespace qm::test {
namespace detail {

template <typename T> struct TaskOutcome {
    std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
    std::exception_ptr error;
};

template <typename T>
QCoro::Task<> captureTask(QCoro::Task<T> task, TaskOutcome<T>& outcome, QEventLoop& loop) {
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
            outcome.value.emplace(true);
        } else {
            outcome.value.emplace(co_await std::move(task));
        }
    } catch (...) {
        outcome.error = std::current_exception();
    }
    loop.quit();
}

} // namespace detail

template <typename T> T runTask(QCoro::Task<T> task) {
    QEventLoop loop;
    detail::TaskOutcome<T> outcome;
    auto runner = detail::captureTask(std::move(task), outcome, loop);
    if (!outcome.value && !outcome.error) {
        loop.exec();
    }
    if (outcome.error) {
        std::rethrow_exception(outcome.error);
    }
    if constexpr (!std::is_void_v<T>) {
        return std::move(*outcome.value);
    }
}

// The text of the error `task` ends with, or "no error".
template <typename T> std::string failureOf(QCoro::Task<T>&& task) {
    try {
        runTask(std::move(task));
    } catch (const std::exception& error) {
        return error.what();
    }
    return "no error";
}

} // namespace qm::test
