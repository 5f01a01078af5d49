// The replacement character sets a host designates with the SCS escape
// sequences (ESC ( F and its siblings): DEC special graphics for line drawing
// and the national replacement sets. A set replaces some printable ASCII bytes
// with other characters; bytes it does not name print as themselves.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace corvel {

// One character set: the replacement scalar for each byte it names.
// Replacements exist only for bytes 0x23..0x7E.
struct CharSet {
    std::array<char32_t, 128> map{};  // 0 = the byte prints as itself

    // The replacement for `byte`, or 0 when the set does not replace it.
    char32_t operator[](uint8_t byte) const { return byte < 128 ? map[byte] : 0; }
    bool contains(uint8_t byte) const { return (*this)[byte] != 0; }
    // The number of bytes the set replaces.
    size_t size() const;
    // The replacement as UTF-8 text, empty when the set does not replace `byte`.
    std::string text(uint8_t byte) const;
};

namespace CharSets {

// Every set by designator (the final byte of the SCS sequence). Built once on
// first use, shared by every terminal, never changed afterwards. A designator
// that is not present means no replacement, the same as US ASCII.
const std::map<uint8_t, CharSet>& all();

// The set designated by `designator`, or nullptr for an unknown designator.
// The pointer stays valid for the life of the process.
const CharSet* lookup(uint8_t designator);

// Builds a fresh copy of the table behind `all()`.
std::map<uint8_t, CharSet> initAll();

}  // namespace CharSets

}  // namespace corvel
