// The account screen with a long history: an Ethereum account of 10,000 entries against one
// of 10, in the same run, offscreen. For each: the time from creating the screen to its first
// painted frame, then the list scrolled from top to bottom (and, for the short list, back and
// forth for as many frames) with the time of every frame: from moving the list to the frame
// being swapped. Prints the build times and the frame times' median and 99th percentile, and
// the long list's 99th percentile against the short one's (goal: at most 1.5).

#include "../BenchRun.h"
#include "RefreshFixture.h"
#include "state/AppState.h"
#include "ui/shell/WalletShell.h"
#include "ui/theme/BRFont.h"
#include "ui/theme/WindowRendering.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLocale>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

Q_IMPORT_QML_PLUGIN(Quillmark_UiPlugin)

using namespace qm;

namespace {

constexpr int scrollStep = 240; // pixels per frame: a brisk scroll

// `count` native entries, newest first, a minute apart.
std::vector<Transaction> history(int count) {
    std::vector<Transaction> entries;
    entries.reserve(static_cast<std::size_t>(count));
    const double now = Date::now().unixTime();
    for (int i = 0; i < count; ++i) {
        Transaction t;
        char hash[67];
        std::snprintf(hash, sizeof hash, "0x%064x", i);
        t.id = hash;
        t.txHash = hash;
        t.chain = Chain::ethereum;
        t.direction = i % 3 == 0 ? TransactionDirection::sent : TransactionDirection::received;
        t.status = i % 7 == 0 ? TransactionStatus::pending : TransactionStatus::confirmed;
        t.amount = std::to_string(i % 100) + ".2500 ETH";
        t.from = "0x1111111111111111111111111111111111111111";
        t.to = "0x2222222222222222222222222222222222222222";
        t.timestamp = Date::fromUnixTime(now - 60.0 * i);
        entries.push_back(std::move(t));
    }
    return entries;
}

// Waits for the window's next swapped frame; its milliseconds from `clock`'s start.
double nextFrame(QQuickWindow& window, const QElapsedTimer& clock) {
    QEventLoop loop;
    double at = -1;
    const auto connection = QObject::connect(&window, &QQuickWindow::frameSwapped, &loop, [&] {
        at = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        loop.quit();
    });
    window.update();
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(connection);
    return at;
}

QQuickItem* findByName(QQuickItem* item, const QString& name) {
    if (!item) {
        return nullptr;
    }
    if (item->objectName() == name) {
        return item;
    }
    for (QQuickItem* child : item->childItems()) {
        if (QQuickItem* found = findByName(child, name)) {
            return found;
        }
    }
    return nullptr;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

struct Run {
    double buildMs = 0;
    std::vector<double> frames;
};

// Builds the screen over `entries` entries and scrolls it; `frames` > 0 asks for that many
// frames, bouncing between top and bottom, else one pass from top to bottom.
Run measure(QQmlEngine& engine, QQuickWindow& window, test::RefreshFixture& env, int entries,
            std::size_t frames) {
    EVMAccountState eth;
    eth.account = {"eth-0", Chain::ethereum, 0, "0x7e5f4552091a69125d5dfcb7b8c2659029395bdf",
                   "m/44'/60'/0'/0/0"};
    eth.balanceNative = 1.5;
    eth.transactions = history(entries);
    env.state().setEVMAccounts(Chain::ethereum, {eth});
    env.state().setSelectedChain(Chain::ethereum);
    env.state().setSelectedAccountIndex(0);

    Run run;
    QElapsedTimer clock;
    clock.start();
    QQmlComponent component(&engine);
    component.setData("import Quillmark.Ui\nAccountDetailView { anchors.fill: parent }", QUrl());
    auto* screen = qobject_cast<QQuickItem*>(component.create());
    if (!screen) {
        std::fprintf(stderr, "%s\n", qPrintable(component.errorString()));
        std::exit(1);
    }
    screen->setParentItem(window.contentItem());
    run.buildMs = nextFrame(window, clock);
    // Let the first layout settle (the header grows as its parts arrive).
    for (int i = 0; i < 5; ++i) {
        nextFrame(window, clock);
    }

    auto* list = findByName(screen, QStringLiteral("accountHistory"));
    if (!list) {
        std::fputs("no history list\n", stderr);
        std::exit(1);
    }
    const auto extent = [list] {
        return list->property("contentHeight").toDouble() + list->property("originY").toDouble() -
               list->height();
    };
    const double top = list->property("originY").toDouble();
    double y = top;
    int direction = 1;
    while (frames == 0 ? y < extent() : run.frames.size() < frames) {
        y += direction * scrollStep;
        if (y >= extent() || y <= top) {
            y = std::clamp(y, top, extent());
            direction = -direction;
        }
        QElapsedTimer frame;
        frame.start();
        list->setProperty("contentY", y);
        const double done = nextFrame(window, frame);
        if (done < 0) {
            std::fputs("a frame never came\n", stderr);
            std::exit(1);
        }
        run.frames.push_back(done);
        if (frames == 0 && y >= extent()) {
            break;
        }
    }
    delete screen;
    nextFrame(window, clock);
    return run;
}

void print(const char* name, const Run& run) {
    std::printf("%-15s build %7.1f ms   frames %5zu   median %6.2f ms   p99 %6.2f ms\n", name,
                run.buildMs, run.frames.size(), percentile(run.frames, 0.5),
                percentile(run.frames, 0.99));
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    configureWindowRendering(); // drawn as the program draws it
    QGuiApplication app(argc, argv);
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    BRFont::loadBundledFonts();
    test::RefreshFixture env;
    env.refresh().setSuspendedForTesting(true);
    WalletShell::install(&env.state());

    QQmlEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/"));
    QQuickWindow window;
    window.resize(900, 700);
    window.show();
    QElapsedTimer started;
    started.start();
    nextFrame(window, started);

    // A first pass warms the caches (glyphs, shaders, compiled QML) for both.
    measure(engine, window, env, 10, bench::fullOrShort<std::size_t>(50, 5));
    // A short run (BenchRun.h) scrolls 300 entries.
    const int entries = bench::fullOrShort(10'000, 300);
    const Run longList = measure(engine, window, env, entries, 0);
    const Run shortList = measure(engine, window, env, 10, longList.frames.size());
    print("10 entries", shortList);
    const std::string name = std::to_string(entries) + " entries";
    print(name.c_str(), longList);
    std::printf("p99 frame time, %d against 10 entries: %.2fx (goal <= 1.5x at 10,000)\n", entries,
                percentile(longList.frames, 0.99) / percentile(shortList.frames, 0.99));
    WalletShell::install(nullptr);
    return 0;
}
