// Memory a program's output could otherwise pin: link ids and cluster codes
// are collected and handed out again, long URIs and titles are refused or
// cut, and a link left open while rows move keeps covering what it covered.
#include "corvel/terminal/Terminal.h"
#include "corvel/screen/TinyAtom.h"
#include "corvel/platform/Dispatch.h"
#include "corvel/platform/Utf8.h"
#include "tests/corvel/support/MainQueueScope.h"
#include "tests/corvel/support/TestHost.h"

#include <gtest/gtest.h>

#include <string>

using namespace corvel;

namespace {

// Ids are process-wide; every test starts from an empty table and runs its
// timers on a manual clock.
class TerminalPayloadTest : public ::testing::Test {
protected:
    void SetUp() override { detail::resetTinyAtomTable(); }
    void TearDown() override { detail::resetTinyAtomTable(); }

    static TerminalOptions sized(int cols, int rows, int scrollback = 0)
    {
        return corvel::testing::sized(cols, rows, scrollback);
    }

    corvel::testing::MainQueueScope main_{true};
    std::shared_ptr<RunLoopQueue> queue_ = main_.queue;
};

// One character per cell of viewport row `row`: 'L' for a cell with a link, '.' without.
std::string linked(Terminal& terminal, int row)
{
    std::string out;
    for (int col = 0; col < terminal.cols(); ++col) {
        const auto cell = terminal.getCharData(col, row);
        out += cell && cell->hasPayload() ? 'L' : '.';
    }
    return out;
}

bool alive(uint16_t id) { return TinyAtom{id}.target().has_value(); }

// A CJK ideograph and two combining marks, different for every `n`.
std::string distinctCluster(int n)
{
    std::string out;
    utf8::append(out, char32_t(0x4E00 + n % 20000));
    utf8::append(out, char32_t(0x0300 + (n / 20000) % 0x30));
    utf8::append(out, char32_t(0x0300 + (n / 20000 / 0x30) % 0x30));
    return out;
}

}  // namespace

TEST_F(TerminalPayloadTest, LinkIdsNoScreenShowsAreReleasedAndHandedOutAgain)
{
    Terminal terminal(std::weak_ptr<TerminalDelegate>{}, sized(10, 3));
    terminal.feed("\x1b]8;;http://a\x07" "a\x1b]8;;\x07 \x1b]8;;http://b\x07" "b\x1b]8;;\x07");
    ASSERT_EQ(TinyAtom::usedCount(&terminal), 2);

    // The first link is overwritten; the second one stays on the screen.
    terminal.feed("\rx");
    terminal.garbageCollectPayload();
    EXPECT_FALSE(alive(1));
    EXPECT_TRUE(alive(2));

    // A link left on the alternate screen is kept after the normal screen
    // lost every link; the freed id is the next one handed out.
    terminal.feed("\x1b[?47h\x1b]8;;http://c\x07" "c\x1b]8;;\x07\x1b[?47l\x1b[2J");
    EXPECT_EQ(terminal.altBuffer().lines()[0][1].payload.code, 1);
    terminal.garbageCollectPayload();
    EXPECT_TRUE(alive(1));
    EXPECT_FALSE(alive(2));

    // While synchronized output shows its frozen copy, a link on it stays
    // readable even after the live screens dropped it.
    terminal.feed("\x1b[?1049h\x1b[2J\x1b[?1049l\x1b]8;;http://d\x07" "d\x1b]8;;\x07\x1b[?2026h\x1b[2J");
    terminal.garbageCollectPayload();
    EXPECT_EQ(TinyAtom::usedCount(&terminal), 1);
    terminal.feed("\x1b[?2026l");
    terminal.garbageCollectPayload();
    EXPECT_EQ(TinyAtom::usedCount(&terminal), 0);

    // One terminal's collection leaves another's links alone, and a terminal
    // that goes gives its ids back.
    {
        Terminal other(std::weak_ptr<TerminalDelegate>{}, sized(10, 3));
        other.feed("\x1b]8;;http://e\x07" "e\x1b]8;;\x07");
        terminal.garbageCollectPayload();
        EXPECT_EQ(TinyAtom::usedCount(&other), 1);
    }
    EXPECT_EQ(TinyAtom::usedCount(), 0);
}

TEST_F(TerminalPayloadTest, TheCollectorRunsByItself)
{
    const std::string link = "\x1b]8;;http://a\x07" "a\x1b]8;;\x07";
    // ED 3 and RIS.
    Terminal terminal(std::weak_ptr<TerminalDelegate>{}, sized(10, 3, 100));
    terminal.feed(link + "\x1b[2J\x1b[3J");
    EXPECT_EQ(TinyAtom::usedCount(), 0);
    terminal.feed(link + "\x1b" "c");
    EXPECT_EQ(TinyAtom::usedCount(), 0);

    // A whole ring turned over (5 lines here): its links went with it.
    Terminal small(std::weak_ptr<TerminalDelegate>{}, sized(10, 3, 2));
    small.feed(link + "\r\n\n\n\n\n\n\n\n");
    EXPECT_EQ(TinyAtom::usedCount(), 1);
    small.feed("\n");
    EXPECT_EQ(TinyAtom::usedCount(), 0);

    // Once idle: a terminal fed during the delay waits one more delay.
    terminal.feed(link + "\rx");
    queue_->advance(Terminal::idleCollectionDelay - 1);
    terminal.feed("y");
    queue_->advance(1);
    EXPECT_EQ(TinyAtom::usedCount(), 1);
    queue_->advance(Terminal::idleCollectionDelay);
    EXPECT_EQ(TinyAtom::usedCount(), 0);

    // When every id is taken, a link collects before it gives up.
    Terminal full(std::weak_ptr<TerminalDelegate>{}, sized(10, 3));
    full.feed(link + "\rx");
    while (TinyAtom::lookup(0, &terminal)) {
    }
    full.feed(link);
    EXPECT_TRUE(full.getCharData(1, 0)->hasPayload());
}

TEST_F(TerminalPayloadTest, ClusterCodesAreCollectedAndTheTableStaysBounded)
{
    Terminal terminal(std::weak_ptr<TerminalDelegate>{}, sized(20, 3, 10));
    std::string stream;
    for (int n = 0; n < 30000; ++n) stream += distinctCluster(n);
    terminal.feed(stream);
    EXPECT_LE(terminal.clusterCodeCount(), size_t{4096});
    // The last clusters read back as printed, though their codes were reused.
    EXPECT_EQ(terminal.getCharacter(18, 2), distinctCluster(29999));
    EXPECT_EQ(terminal.getCharacter(0, 2), distinctCluster(29990));

    terminal.feed("\x1b[2J\x1b[3J");
    EXPECT_EQ(terminal.clusterCodeCount(), 0u);

    // The wrap that turns a ring over (two lines here) falls between working
    // out a character's code and storing it: the code stays valid.
    Terminal small(std::weak_ptr<TerminalDelegate>{}, sized(4, 2));
    const std::string outsideTheBmp = "\xf3\xb5\x87\x83";
    small.feed(outsideTheBmp + "\r\n\nabcd" + outsideTheBmp);
    EXPECT_EQ(small.getCharacter(0, 1), outsideTheBmp);

    // A code freed and handed to other text does not bring back a join
    // remembered for its old text.
    terminal.feed("\x1b[He\xcc\x81   o\xcc\x88");
    terminal.feed("\r \x1b[3J");
    ASSERT_EQ(terminal.clusterCodeCount(), 1u);
    terminal.feed("\ra\xcc\x80 e\xcc\x81");
    EXPECT_EQ(terminal.getCharacter(0, 0), "a\xcc\x80");
    EXPECT_EQ(terminal.getCharacter(2, 0), "e\xcc\x81");
}

TEST_F(TerminalPayloadTest, LongUrisOpenNoLinkAndLongTitlesAreCut)
{
    Terminal terminal(std::weak_ptr<TerminalDelegate>{}, sized(10, 3));
    const std::string limit(Terminal::maxHyperlinkUriBytes, 'u');
    terminal.feed("\x1b]8;;" + limit + "\x07" "a\x1b]8;;\x07");
    terminal.feed("\x1b]8;;" + limit + "v\x07" "b\x1b]8;;\x07");
    EXPECT_EQ(linked(terminal, 0), "L.........");

    auto host = std::make_shared<corvel::testing::TestHost>();
    Terminal titled(host, sized(10, 3));
    host->events.clear();
    std::string title = "a";
    for (int i = 0; i < 2500; ++i) title += "\xc3\xa9";
    titled.feed("\x1b]2;" + title + "\x07\x1b[22;0t");
    const std::string cut = title.substr(0, Terminal::maxTitleBytes - 1);
    EXPECT_EQ(titled.terminalTitle, cut);
    EXPECT_EQ(host->events, std::vector<std::string>{"title " + cut});
    ASSERT_EQ(titled.terminalTitleStack.size(), 1u);
    EXPECT_EQ(titled.terminalTitleStack[0].size(), cut.size());
}

TEST_F(TerminalPayloadTest, AnOpenLinkKeepsItsCellsWhileRowsMove)
{
    const std::string open = "\x1b]8;;http://a\x07";
    const std::string close = "\x1b]8;;\x07";
    {
        // A scroll of the alternate screen, by a line feed and by a wrap: the
        // row left behind is covered to its end, as rows between the ends of
        // a link always are.
        Terminal terminal(std::weak_ptr<TerminalDelegate>{}, sized(10, 4));
        terminal.feed("\x1b[?1049h\x1b[4;3H" + open + "abc\r\ndef" + close);
        EXPECT_EQ(linked(terminal, 2), "..LLLLLLLL");
        EXPECT_EQ(linked(terminal, 3), "LLL.......");
        terminal.feed("\x1b[2J\x1b[4H" + open + "0123456789ab" + close);
        EXPECT_EQ(linked(terminal, 2), "LLLLLLLLLL");
        EXPECT_EQ(linked(terminal, 3), "LL........");
    }
    {
        // A scroll of a region that does not start at the top.
        Terminal terminal(std::weak_ptr<TerminalDelegate>{}, sized(10, 4, 10));
        terminal.feed("\x1b[2;4r\x1b[4H" + open + "abc\r\ndef" + close);
        EXPECT_EQ(linked(terminal, 2), "LLLLLLLLLL");
        EXPECT_EQ(linked(terminal, 3), "LLL.......");
    }
    {
        // ED 3 drops the history above the link's start.
        Terminal terminal(std::weak_ptr<TerminalDelegate>{}, sized(10, 3, 10));
        terminal.feed("1\r\n2\r\n3\r\n4\r\n" + open + "abc\x1b[3Jdef" + close);
        EXPECT_EQ(linked(terminal, 2), "LLLLLL....");
    }
    {
        // A narrowing resize splits the row above the link's start in two.
        Terminal terminal(std::weak_ptr<TerminalDelegate>{}, sized(10, 4, 10));
        terminal.feed("0123456789\r\n" + open + "xy");
        terminal.resize(5, 4);
        terminal.feed("z" + close);
        EXPECT_EQ(linked(terminal, 1), ".....");
        EXPECT_EQ(linked(terminal, 2), "LLL..");
    }
}
