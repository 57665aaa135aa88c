#pragma once
// Lets one piece of work abort the HTTP requests it started without knowing which clients or
// sessions they went through: a refresh job that is cancelled ends its requests at once
// instead of leaving them to run into their time-outs.
//
//     auto group = std::make_shared<HttpAbortGroup>();
//     QCoro::Task<T> request = [&] {
//         HttpAbortGroup::Scope scope(group);
//         return client.fetchSomething();   // its requests join `group`
//     }();
//     ...
//     group->abort();                       // they end with HttpTransportError kind aborted
//
// Membership: while a Scope is active on the thread, every request an HttpSession starts joins
// the scope's group. A request that ends resumes its awaiter inside its group's scope again, so
// a client that sends its next request (the next page, the next call) straight after the
// previous one keeps it in the group. Work resumed by anything other than an HTTP reply runs
// outside any group. GUI thread only.

#include <functional>
#include <memory>
#include <vector>

namespace qm {

class HttpAbortGroup {
public:
    // Makes `group` (may be null: no group) the thread's current group until destroyed.
    class Scope {
    public:
        explicit Scope(std::shared_ptr<HttpAbortGroup> group);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        std::shared_ptr<HttpAbortGroup> m_previous;
    };

    // The group of the innermost active Scope, or null.
    static std::shared_ptr<HttpAbortGroup> current();

    // Aborts every member still in flight; members that join later are aborted as they join.
    void abort();
    bool isAborted() const { return m_aborted; }

    // For HttpSession: `abortRequest` ends one request in flight (harmless once it has ended).
    void join(std::function<void()> abortRequest);

private:
    std::vector<std::function<void()>> m_members;
    bool m_aborted = false;
};

} // namespace qm
