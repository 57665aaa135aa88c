#pragma once
// Looks for a secret in the whole of the process's writable memory (heaps, stacks, freed
// blocks included): what a reader of a memory dump would find. The secret is given masked
// (each byte XOR `mask`) so that the test's own copy is never the one found.

#include <cstddef>
#include <cstdint>
#include <string>

namespace qm::test {

// A text kept masked in memory; `at(i)` unmasks one character.
class MaskedText {
public:
    MaskedText(const char* text, std::uint8_t mask);
    ~MaskedText();
    std::size_t size() const { return m_masked.size(); }
    char at(std::size_t i) const { return static_cast<char>(m_masked[i] ^ m_mask); }
    // The text in the clear; the caller wipes it.
    std::string reveal() const;

    MaskedText(const MaskedText&) = delete;
    MaskedText& operator=(const MaskedText&) = delete;

    friend std::size_t countUtf16Copies(const MaskedText& text);

private:
    std::string m_masked;
    std::uint8_t m_mask;
};

// How many times the text appears as UTF-16 (little-endian, the form of QString and of QML's
// strings) in readable, writable memory. ASCII texts only.
std::size_t countUtf16Copies(const MaskedText& text);

} // namespace qm::test
