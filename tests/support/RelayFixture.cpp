#include "RelayFixture.h"

#include "ChildProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

namespace qm::test {

namespace {

QString peersDir() {
    return QString(QM_SOURCE_DIR) + "/tests/peers";
}

} // namespace

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    QDeadlineTimer deadline(timeout);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QTest::qWait(5);
    }
    return true;
}

bool RelayFixture::isAvailable() {
    return !QStandardPaths::findExecutable("node").isEmpty() &&
           QFile::exists(peersDir() + "/node_modules/ws/package.json") &&
           QFile::exists(peersDir() + "/node_modules/@walletconnect/relay-auth/package.json");
}

RelayFixture::RelayFixture(int port, std::optional<std::string> projectId) {
    QStringList arguments{peersDir() + "/relay_fixture.mjs", "--port", QString::number(port)};
    if (projectId) {
        arguments << "--project-id" << QString::fromStdString(*projectId);
    }
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] { readEvents(); });
    process_.start(QStandardPaths::findExecutable("node"), arguments);
    if (!process_.waitForStarted()) {
        return;
    }
    const auto listening =
        waitFor([](const nlohmann::json& e) { return e.value("event", "") == "listening"; });
    if (listening) {
        port_ = (*listening)["port"].get<int>();
    }
}

RelayFixture::~RelayFixture() {
    QObject::disconnect(&process_, nullptr, nullptr, nullptr);
    stopChildProcess(process_);
}

std::string RelayFixture::url() const {
    return "ws://127.0.0.1:" + std::to_string(port_);
}

bool RelayFixture::control(nlohmann::json op) {
    const int seq = ++lastSeq_;
    op["seq"] = seq;
    process_.write(QByteArray::fromStdString(op.dump() + "\n"));
    const std::size_t from = events_.size();
    return waitFor(
               [seq](const nlohmann::json& e) {
                   return e.value("event", "") == "done" && e["seq"] == seq;
               },
               from)
        .has_value();
}

void RelayFixture::kill() {
    process_.kill();
    process_.waitForFinished();
}

void RelayFixture::readEvents() {
    pending_ += process_.readAllStandardOutput();
    qsizetype end = 0;
    while ((end = pending_.indexOf('\n')) >= 0) {
        const QByteArray line = pending_.left(end);
        pending_.remove(0, end + 1);
        if (!line.trimmed().isEmpty()) {
            events_.push_back(nlohmann::json::parse(line.toStdString()));
        }
    }
}

std::size_t RelayFixture::count(const Match& match) const {
    return static_cast<std::size_t>(std::count_if(events_.begin(), events_.end(), match));
}

std::optional<nlohmann::json> RelayFixture::waitFor(const Match& match, std::size_t from,
                                                    std::chrono::milliseconds timeout) {
    std::optional<nlohmann::json> found;
    waitUntil(
        [&] {
            for (std::size_t i = from; i < events_.size(); ++i) {
                if (match(events_[i])) {
                    found = events_[i];
                    return true;
                }
            }
            return false;
        },
        timeout);
    return found;
}

std::vector<nlohmann::json> RelayFixture::requests(const std::string& method) const {
    std::vector<nlohmann::json> out;
    for (const auto& event : events_) {
        if (event.value("event", "") != "frame" || !event.contains("frame")) {
            continue;
        }
        const auto& frame = event["frame"];
        if (frame.is_object() && frame.contains("method") && frame["method"] == method) {
            out.push_back(event["frame"]);
        }
    }
    return out;
}

} // namespace qm::test
