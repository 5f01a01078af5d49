#include "corvel/terminal/EscapeSequences.h"

#include <gtest/gtest.h>

#include <string>

using namespace corvel;

namespace {

std::string hex(std::span<const uint8_t> bytes)
{
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (uint8_t b : bytes) {
        if (!out.empty()) out += ' ';
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

}  // namespace

TEST(EscapeSequences, BracketedPasteMarkersAreSettable)
{
    namespace E = EscapeSequences;
    const auto start = E::bracketedPasteStart();
    const auto end = E::bracketedPasteEnd();
    EXPECT_EQ(hex(start), "1B 5B 32 30 30 7E");
    EXPECT_EQ(hex(end), "1B 5B 32 30 31 7E");
    E::setBracketedPasteStart({'<'});
    E::setBracketedPasteEnd({'>'});
    EXPECT_EQ(hex(E::bracketedPasteStart()), "3C");
    EXPECT_EQ(hex(E::bracketedPasteEnd()), "3E");
    E::setBracketedPasteStart(start);
    E::setBracketedPasteEnd(end);
}
