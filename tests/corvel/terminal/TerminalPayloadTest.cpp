#include "corvel/terminal/Terminal.h"
#include "corvel/screen/TinyAtom.h"

#include <gtest/gtest.h>

using namespace corvel;

namespace {

class TerminalPayloadTest : public ::testing::Test {
protected:
    void SetUp() override { detail::resetTinyAtomTable(); }
    void TearDown() override { detail::resetTinyAtomTable(); }
};

}  // namespace

TEST_F(TerminalPayloadTest, CollectionReleasesLinksNoLongerOnEitherScreen)
{
    TerminalOptions options;
    options.cols = 10;
    options.rows = 3;
    Terminal terminal(std::weak_ptr<TerminalDelegate>{}, options);
    terminal.feed("\x1b]8;;http://a\x07" "a\x1b]8;;\x07 \x1b]8;;http://b\x07" "b\x1b]8;;\x07");
    ASSERT_EQ(TinyAtom::lastUsed(), 2);

    // The first link is overwritten; the second one stays on the screen.
    terminal.feed("\rx");
    terminal.garbageCollectPayload();
    EXPECT_EQ(TinyAtom::lastCollected(), 1);
    EXPECT_FALSE(TinyAtom{1}.target().has_value());
    EXPECT_TRUE(TinyAtom{2}.target().has_value());

    // A link left on the alternate screen is kept after the normal screen
    // lost every link.
    terminal.feed("\x1b[?47h\x1b]8;;http://c\x07" "c\x1b]8;;\x07\x1b[?47l\x1b[2J");
    terminal.garbageCollectPayload();
    EXPECT_EQ(TinyAtom::lastCollected(), 2);
    EXPECT_TRUE(TinyAtom{3}.target().has_value());

    // While synchronized output shows its frozen copy, a link on it stays
    // readable even after the live screens dropped it.
    terminal.feed("\x1b[?1049h\x1b[2J\x1b[?1049l\x1b]8;;http://d\x07" "d\x1b]8;;\x07\x1b[?2026h\x1b[2J");
    terminal.garbageCollectPayload();
    EXPECT_EQ(TinyAtom::lastCollected(), 3);
    EXPECT_TRUE(TinyAtom{4}.target().has_value());
    terminal.feed("\x1b[?2026l");
    terminal.garbageCollectPayload();
    EXPECT_EQ(TinyAtom::lastCollected(), 4);

    // Every line a ring allocated is read, whatever its count: here one far
    // past the lines the normal buffer holds.
    const auto held = *TinyAtom::lookup(std::string("held"));
    (void)*TinyAtom::lookup(std::string("free"));
    CircularBufferLineList& lines = terminal.normalBuffer().lines();
    ASSERT_LT(lines.count(), 100);
    lines[100].modify(0, [&](CharData& c) { c.setPayload(held); });
    terminal.garbageCollectPayload();
    EXPECT_EQ(TinyAtom::lastCollected(), 4);
    lines[100].modify(0, [](CharData& c) { c.setPayload({}); });
    terminal.garbageCollectPayload();
    EXPECT_EQ(TinyAtom::lastCollected(), 6);
}
