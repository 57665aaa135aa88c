#include "MemoryScan.h"

#include <fstream>
#include <sstream>
#include <string>

namespace qm::test {

MaskedText::MaskedText(const char* text, std::uint8_t mask) : m_mask(mask) {
    for (const char* c = text; *c; ++c) {
        m_masked.push_back(static_cast<char>(static_cast<std::uint8_t>(*c) ^ mask));
    }
}

MaskedText::~MaskedText() {
    for (char& c : m_masked) {
        c = 0;
    }
}

std::string MaskedText::reveal() const {
    std::string text;
    for (std::size_t i = 0; i < size(); ++i) {
        text.push_back(at(i));
    }
    return text;
}

namespace {

// Reads memory that may lie in the sanitizer's red zones or freed blocks: uninstrumented.
__attribute__((no_sanitize_address)) std::size_t
countIn(const unsigned char* begin, const unsigned char* end, const MaskedText& text) {
    const std::size_t length = 2 * text.size();
    std::size_t found = 0;
    const auto first = static_cast<unsigned char>(text.at(0));
    for (const unsigned char* p = begin; p + length <= end; ++p) {
        if (*p != first || p[1] != 0) {
            continue;
        }
        std::size_t i = 1;
        while (i < text.size() && p[2 * i] == static_cast<unsigned char>(text.at(i)) &&
               p[2 * i + 1] == 0) {
            ++i;
        }
        found += i == text.size() ? 1 : 0;
    }
    return found;
}

} // namespace

std::size_t countUtf16Copies(const MaskedText& text) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    std::size_t found = 0;
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        std::string range, perms, offset, device, inode, path;
        fields >> range >> perms >> offset >> device >> inode;
        std::getline(fields, path);
        if (perms.size() < 2 || perms[0] != 'r' || perms[1] != 'w' ||
            path.find("[v") != std::string::npos) { // [vvar], [vsyscall]
            continue;
        }
        const auto dash = range.find('-');
        const auto begin = std::stoull(range.substr(0, dash), nullptr, 16);
        const auto end = std::stoull(range.substr(dash + 1), nullptr, 16);
        // The sanitizer's shadow and reserved heaps are terabytes of untouched pages.
        if (end - begin > (std::uint64_t{1} << 32)) {
            continue;
        }
        found += countIn(reinterpret_cast<const unsigned char*>(begin),
                         reinterpret_cast<const unsigned char*>(end), text);
    }
    return found;
}

} // namespace qm::test
