#include "app/GraphicalSession.h"

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace qm {
namespace {

constexpr const char* needed = "Quillmark needs a graphical session (X11 or Wayland)";

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// The platform asked for: -platform's argument, else QT_QPA_PLATFORM; empty for the default.
std::string requestedPlatform(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if ((arg == "-platform" || arg == "--platform") && i + 1 < argc) {
            return argv[i + 1];
        }
        for (const std::string_view prefix : {"-platform=", "--platform="}) {
            if (arg.starts_with(prefix)) {
                return std::string(arg.substr(prefix.size()));
            }
        }
    }
    const char* env = std::getenv("QT_QPA_PLATFORM");
    return env != nullptr ? env : "";
}

struct Held {
    QtMsgType type;
    QString message;
    // The context's texts point into the caller's frame: copies live here.
    std::string file, function, category;
    int line = 0;
};

QtMessageHandler previous = nullptr;
std::vector<Held>* held = nullptr;

void holdBack(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg) {
        const char* display = std::getenv("DISPLAY");
        const std::string line =
            std::string(needed) + "; none could be opened" +
            (display != nullptr && *display != '\0' ? std::string(" (DISPLAY=") + display + ")"
                                                    : std::string()) +
            ".\n";
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        std::fflush(stdout);
        ::_exit(1);
    }
    held->push_back({type, message, context.file ? context.file : "",
                     context.function ? context.function : "",
                     context.category ? context.category : "", context.line});
}

} // namespace

std::optional<std::string> missingGraphicalSession(int argc, char** argv) {
    const std::string platform = requestedPlatform(argc, argv);
    // A list ("wayland;xcb") or another platform (offscreen, vnc ...) is the user's choice.
    const bool windowSystem = platform.empty() || platform == "xcb" || platform == "wayland";
    if (!windowSystem || isSet("DISPLAY") || isSet("WAYLAND_DISPLAY")) {
        return std::nullopt;
    }
    return std::string(needed) + "; none was found.";
}

GraphicalSessionGuard::GraphicalSessionGuard() {
    held = new std::vector<Held>;
    previous = qInstallMessageHandler(holdBack);
}

GraphicalSessionGuard::~GraphicalSessionGuard() {
    qInstallMessageHandler(previous);
    for (const Held& entry : *held) {
        const QMessageLogContext context(entry.file.c_str(), entry.line, entry.function.c_str(),
                                         entry.category.c_str());
        if (previous != nullptr) {
            previous(entry.type, context, entry.message);
        } else {
            qt_message_output(entry.type, context, entry.message);
        }
    }
    delete held;
    held = nullptr;
}

} // namespace qm
