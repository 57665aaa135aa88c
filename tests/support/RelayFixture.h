#pragma once
// The loopback WalletConnect relay of tests/peers (relay_fixture.mjs, Node `ws`) as a process:
// started on a free port (or a given one, to restart it in place), controlled by op lines on
// its stdin, observed through the JSON events it prints. Waits spin the event loop, so a relay
// client on this thread keeps working meanwhile. Stopped when the object goes.

#include <QProcess>
#include <chrono>
#include <cstddef>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace qm::test {

class RelayFixture {
public:
    using Match = std::function<bool(const nlohmann::json& event)>;

    // Node and the relay's packages are installed (scripts/install-deps).
    static bool isAvailable();

    // `port` 0 picks a free one; `projectId` set makes the relay refuse any other.
    explicit RelayFixture(int port = 0, std::optional<std::string> projectId = std::nullopt);
    ~RelayFixture();
    RelayFixture(const RelayFixture&) = delete;
    RelayFixture& operator=(const RelayFixture&) = delete;

    bool isRunning() const { return port_ != 0 && process_.state() == QProcess::Running; }
    int port() const { return port_; }
    // "ws://127.0.0.1:<port>"
    std::string url() const;

    // Carries out one control op (see relay_fixture.mjs) and returns once the relay has done
    // it; false when it does not confirm.
    bool control(nlohmann::json op);
    // Ends the process at once, as a crash would (connections drop without a close frame).
    void kill();

    // Every event so far, in order.
    const std::vector<nlohmann::json>& events() const { return events_; }
    std::size_t count(const Match& match) const;
    // The first event from index `from` on that matches, waiting for it; absent on time-out.
    std::optional<nlohmann::json>
    waitFor(const Match& match, std::size_t from = 0,
            std::chrono::milliseconds timeout = std::chrono::milliseconds(10'000));
    // The frames a client sent with `method`, in order.
    std::vector<nlohmann::json> requests(const std::string& method) const;

private:
    void readEvents();

    QProcess process_;
    int port_ = 0;
    int lastSeq_ = 0;
    QByteArray pending_;
    std::vector<nlohmann::json> events_;
};

// Spins the event loop until `condition` holds; false on time-out.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(10'000));

} // namespace qm::test
