#include "state/flows/UnreadableAttempts.h"

#include "platform/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace qm {
namespace {

// Far more than any folder will hold; a bound all the same.
constexpr int maxAsides = 10'000;

std::string asideBaseName(const std::filesystem::path& file) {
    return file.filename().string() + ".unreadable";
}

std::filesystem::path asideName(const std::filesystem::path& file, int n) {
    const std::string base = asideBaseName(file);
    return file.parent_path() / (n == 1 ? base : base + "." + std::to_string(n));
}

bool isJSONSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The elements of a text that reads as a JSON array, each as it stands (no space around).
std::vector<std::string_view> elementsOf(std::string_view list) {
    std::vector<std::string_view> elements;
    std::size_t start = std::string_view::npos;
    int depth = 0;
    bool inString = false;
    for (std::size_t i = list.find('[') + 1; i < list.size(); ++i) {
        const char c = list[i];
        if (inString) {
            if (c == '\\') {
                ++i; // the escaped character, a quote among them
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        if (depth == 0 && (c == ',' || c == ']')) {
            if (start != std::string_view::npos) {
                std::size_t end = i;
                while (end > start && isJSONSpace(list[end - 1])) {
                    --end;
                }
                elements.push_back(list.substr(start, end - start));
                start = std::string_view::npos;
            }
            if (c == ']') {
                break;
            }
            continue;
        }
        if (start == std::string_view::npos && !isJSONSpace(c)) {
            start = i;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            ++depth;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return elements;
}

} // namespace

std::filesystem::path setAttemptsAside(const std::filesystem::path& file, std::string_view bytes) {
    for (int n = 1; n <= maxAsides; ++n) {
        const std::filesystem::path aside = asideName(file, n);
        std::error_code error;
        const std::filesystem::file_status status = std::filesystem::symlink_status(aside, error);
        if (status.type() == std::filesystem::file_type::not_found) {
            writeFileAtomically(aside, utf8View(bytes), 0600);
            return aside;
        }
        if (error) {
            throw FileError("Cannot look at " + aside.string() + ": " + error.message(),
                            error.value());
        }
    }
    throw FileError("No free name to set the unreadable unsettled transactions aside beside " +
                        file.string(),
                    EEXIST);
}

std::vector<std::filesystem::path> attemptsAsides(const std::filesystem::path& file) {
    const std::string base = asideBaseName(file);
    std::vector<std::filesystem::path> found;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(file.parent_path(), error), end;
         !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        const std::string_view number =
            name.size() > base.size() + 1 && name.starts_with(base + ".")
                ? std::string_view(name).substr(base.size() + 1)
                : std::string_view();
        if (name == base ||
            (!number.empty() && std::all_of(number.begin(), number.end(),
                                            [](char c) { return c >= '0' && c <= '9'; }))) {
            found.push_back(entry->path());
        }
    }
    return found;
}

std::string arrayElementsAsTheyStand(std::string_view list,
                                     const std::vector<std::size_t>& indices) {
    const std::vector<std::string_view> elements = elementsOf(list);
    std::string out = "[";
    for (const std::size_t index : indices) {
        if (index >= elements.size()) {
            continue;
        }
        if (out.size() > 1) {
            out += ",";
        }
        out += elements[index];
    }
    return out + "]";
}

QString unreadableAttemptsNotice(const UnreadableAttempts& found) {
    QString text;
    const QString aside = QString::fromStdString(found.aside.string());
    if (found.aside.empty()) {
        text = QStringLiteral("The wallet's record of the transactions it sent (%1) could not be "
                              "read or set aside: %2. It is kept as it is, and nothing can be "
                              "sent until it can be set aside at a later unlock.")
                   .arg(QString::fromStdString(found.file.string()),
                        QString::fromStdString(found.failure));
    } else if (found.entries == 0) {
        text = QStringLiteral("The wallet's record of the transactions it sent could not be "
                              "read. It was set aside, as it was, in %1.")
                   .arg(aside);
    } else if (found.entries == 1) {
        text = QStringLiteral("A transaction the wallet sent could not be read from its record. "
                              "It was set aside, as it was, in %1.")
                   .arg(aside);
    } else {
        text = QStringLiteral("%1 transactions the wallet sent could not be read from its "
                              "record. They were set aside, as they were, in %2.")
                   .arg(QString::number(found.entries), aside);
    }
    return text + QStringLiteral(" Transactions sent earlier may still go through; the history "
                                 "shows what the chain has.");
}

} // namespace qm
