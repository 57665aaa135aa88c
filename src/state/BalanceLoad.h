#pragma once
// Whether an account's balance figure is one a server gave. A new account state holds a zero
// that nobody read: the screens show it as unknown until the first answer, and say so when a
// load ended without one.

namespace qm {

struct BalanceLoad {
    // A server answered for the whole balance at least once since the accounts were opened.
    bool known = false;
    // The last load ended without an answer: the figure is the last known one, if any.
    bool failed = false;

    // A load of the balance ended, with an answer or (`withoutAnswer`) without one.
    void end(bool withoutAnswer) {
        known = known || !withoutAnswer;
        failed = withoutAnswer;
    }
    bool operator==(const BalanceLoad&) const = default;
};

} // namespace qm
