#include "corvel/parser/CC.h"
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

TEST(EscapeSequences, KeySequences)
{
    namespace E = EscapeSequences;
    ASSERT_EQ(E::cmdF.size(), 12u);
    const char* functionKeys[12] = {
        "1B 4F 50",       "1B 4F 51",       "1B 4F 52",       "1B 4F 53",
        "1B 5B 31 35 7E", "1B 5B 31 37 7E", "1B 5B 31 38 7E", "1B 5B 31 39 7E",
        "1B 5B 32 30 7E", "1B 5B 32 31 7E", "1B 5B 32 33 7E", "1B 5B 32 34 7E",
    };
    for (size_t i = 0; i < 12; ++i) EXPECT_EQ(hex(E::cmdF[i]), functionKeys[i]) << "F" << i + 1;

    EXPECT_EQ(hex(E::moveUpApp), "1B 4F 41");
    EXPECT_EQ(hex(E::moveUpNormal), "1B 5B 41");
    EXPECT_EQ(hex(E::moveDownApp), "1B 4F 42");
    EXPECT_EQ(hex(E::moveRightApp), "1B 4F 43");
    EXPECT_EQ(hex(E::moveLeftNormal), "1B 5B 44");
    EXPECT_EQ(hex(E::moveHomeApp), "1B 4F 48");
    EXPECT_EQ(hex(E::moveEndNormal), "1B 5B 46");
    EXPECT_EQ(hex(E::cmdDel), "7F");
    EXPECT_EQ(hex(E::cmdDelKey), "1B 5B 33 7E");
    EXPECT_EQ(hex(E::cmdBackTab), "1B 5B 5A");
    EXPECT_EQ(hex(E::cmdPageDown), "1B 5B 36 7E");
    EXPECT_EQ(hex(E::controlLeft), "1B 5B 31 3B 35 44");
    EXPECT_EQ(hex(E::emacsForward), "1B 66");
}

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

TEST(EscapeSequences, ReplyIntroducers)
{
    const CC seven;
    const CC eight{true};
    EXPECT_EQ(hex(seven.csi()), "1B 5B");
    EXPECT_EQ(hex(seven.osc()), "1B 5D");
    EXPECT_EQ(hex(seven.dcs()), "1B 50");
    EXPECT_EQ(hex(seven.st()), "1B 5C");
    EXPECT_EQ(hex(seven.apc()), "1B 5F");
    EXPECT_EQ(hex(eight.csi()), "9B");
    EXPECT_EQ(hex(eight.osc()), "9D");
    EXPECT_EQ(hex(eight.dcs()), "90");
    EXPECT_EQ(hex(eight.st()), "9C");
    EXPECT_EQ(hex(eight.apc()), "9F");
}
