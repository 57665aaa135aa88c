#include "services/network/HttpAbortGroup.h"

#include <utility>

namespace qm {
namespace {

thread_local std::shared_ptr<HttpAbortGroup> currentGroup;

} // namespace

HttpAbortGroup::Scope::Scope(std::shared_ptr<HttpAbortGroup> group)
    : m_previous(std::exchange(currentGroup, std::move(group))) {}

HttpAbortGroup::Scope::~Scope() {
    currentGroup = std::move(m_previous);
}

std::shared_ptr<HttpAbortGroup> HttpAbortGroup::current() {
    return currentGroup;
}

void HttpAbortGroup::abort() {
    if (m_aborted) {
        return;
    }
    m_aborted = true;
    // Aborting ends a request synchronously; its awaiter resumes later, so nothing joins meanwhile.
    std::vector<std::function<void()>> members = std::move(m_members);
    m_members.clear();
    for (const auto& abortRequest : members) {
        abortRequest();
    }
}

void HttpAbortGroup::join(std::function<void()> abortRequest) {
    if (m_aborted) {
        abortRequest();
        return;
    }
    m_members.push_back(std::move(abortRequest));
}

} // namespace qm
