// Status polling: the two-tick debounce of embedded cells, output that marks
// a cell running at once, the end of a cell's last process, and the iTerm2
// poll (spacing, absorption order, visible cells, labels and previews).
#include "StoreTestSupport.h"

#include "app/store/SessionText.h"

#include <QTextBoundaryFinder>

using namespace tilebay;
using namespace tilebay::testing;

namespace {

qsizetype graphemeCount(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() >= 0) ++count;
    return count;
}

}  // namespace

TEST_F(StoreTest, EmbeddedStatusChangesOnTheSecondAgreeingTickAndOutputRunsAtOnce)
{
    SessionStore& store = makeStore();
    const auto cell = store.newEmbeddedSession(QString("q"), std::nullopt, std::nullopt);
    ASSERT_TRUE(cell);
    const QString id = cell->id();

    // A question on screen: waiting, but only on the second tick.
    embedded_->cells[id].screen = "Continue? (Y/N) ";
    advance(3);
    store.tick();
    EXPECT_EQ(cell->status(), TerminalStatus::unknown);
    store.tick();
    EXPECT_EQ(cell->status(), TerminalStatus::waiting);

    // Output does not lift a waiting cell.
    embedded_->output(id);
    EXPECT_EQ(cell->status(), TerminalStatus::waiting);

    // The question answered, silence past the threshold: idle after two ticks.
    embedded_->cells[id].screen = "answered\nbuilding";
    advance(store.idleThresholdSec() + 1);
    store.tick();
    EXPECT_EQ(cell->status(), TerminalStatus::waiting);
    store.tick();
    EXPECT_EQ(cell->status(), TerminalStatus::idle);

    // One differing report is forgotten when the next agrees with the status.
    embedded_->lastActivity.insert(id, clock_);
    store.tick();
    EXPECT_EQ(cell->pendingStatus, TerminalStatus::running);
    advance(store.idleThresholdSec() + 1);
    store.tick();
    EXPECT_EQ(cell->status(), TerminalStatus::idle);
    EXPECT_FALSE(cell->pendingStatus.has_value());
    EXPECT_EQ(cell->pendingCount, 0);

    // Output turns an idle cell running at once, without a tick.
    embedded_->output(id);
    EXPECT_EQ(cell->status(), TerminalStatus::running);

    // A cell with no recorded activity counts as silent for ever.
    embedded_->lastActivity.remove(id);
    store.tick();
    store.tick();
    EXPECT_EQ(cell->status(), TerminalStatus::idle);

    // A prompt means idle without waiting for the threshold.
    const auto shell = store.newEmbeddedSession(std::nullopt, std::nullopt, std::nullopt);
    embedded_->cells[shell->id()].screen = "ls\nfile\nuser@host:~$ ";
    advance(2);
    store.tick();
    store.tick();
    EXPECT_EQ(shell->status(), TerminalStatus::idle);
    EXPECT_EQ(saves(), 2) << "status changes are not saved";
}

TEST_F(StoreTest, EndOfTheExpandedCellsLastProcessCollapsesRemovesAndFreesIt)
{
    SessionStore& store = makeStore();
    const QString first = store.newEmbeddedSession(std::nullopt, std::nullopt, std::nullopt)->id();
    const QString second = store.newEmbeddedSession(std::nullopt, std::nullopt, std::nullopt)->id();
    store.toggleExpand(first);
    EXPECT_EQ(store.expandedID(), first);
    // Each new cell took the keyboard focus, then the expanded one did.
    EXPECT_EQ(embedded_->focused, (std::vector<QString>{first, second, first}));
    saves();

    embedded_->end(first);
    EXPECT_FALSE(store.expandedID().has_value());
    ASSERT_EQ(store.cells().size(), 1u);
    EXPECT_EQ(store.cells()[0]->id(), second);
    EXPECT_EQ(embedded_->forgotten, std::vector<QString>{first}) << "its views and scrollback are freed";
    EXPECT_TRUE(embedded_->closed.empty()) << "an ended cell's tmux session is not killed";
    EXPECT_EQ(saves(), 1);
    ASSERT_TRUE(savedDoc());
    ASSERT_EQ(savedDoc()->cells.size(), 1u);
    EXPECT_EQ(savedDoc()->cells[0].internalId, second.toStdString());

    // Activity of a cell that is gone changes nothing.
    embedded_->output(first);
    EXPECT_EQ(store.cells().size(), 1u);

    // A cell made while another is expanded leaves the focus in the card.
    store.toggleExpand(second);
    embedded_->focused.clear();
    store.newEmbeddedSession(std::nullopt, std::nullopt, std::nullopt);
    EXPECT_TRUE(embedded_->focused.empty());
}

TEST_F(StoreTest, TicksStartOneITerm2PollPer1800ms)
{
    FakeOsascript osascript;
    osascript.setReply(listing({{"G1", "remote", "hello"}}));
    SessionStore& store = makeStore();

    // No iTerm2 cell and absorption off: no iTerm2 request at all.
    store.tick();
    ASSERT_TRUE(finishPolls());
    EXPECT_FALSE(store.lastITerm2Poll().has_value());
    EXPECT_TRUE(osascript.scripts().empty());

    store.absorbExternal("G1", "remote", 0);
    store.tick();
    ASSERT_TRUE(finishPolls());
    EXPECT_EQ(osascript.scripts().size(), 1u);
    advance(1);
    store.tick();
    ASSERT_TRUE(finishPolls());
    EXPECT_EQ(osascript.scripts().size(), 1u) << "a tick 1 s later starts no poll";
    advance(1);
    store.tick();
    ASSERT_TRUE(finishPolls());
    EXPECT_EQ(osascript.scripts().size(), 2u) << "2 s after the last start the next poll runs";

    // No poll while the window is being resized live.
    advance(2);
    store.setIsLiveResizing(true);
    store.tick();
    ASSERT_TRUE(finishPolls());
    EXPECT_EQ(osascript.scripts().size(), 2u);
}

TEST_F(StoreTest, AbsorptionAppendsNewSessionsInIdOrderAndSavesOnce)
{
    FakeOsascript osascript;
    osascript.setReply(listing({{"b", "beta", "B"}, {"a", "alpha (node)", "A"}, {"", "no id", "x"},
                                {"c", "gamma", "C"}, {"b", "beta again", "B2"}}));
    SessionStore& store = makeStore();
    const QString local = store.newEmbeddedSession(std::nullopt, std::nullopt, std::nullopt)->id();
    saves();

    store.setStripTitleTails(true);
    store.setAbsorbITerm2(true);  // queues a poll at once
    ASSERT_TRUE(finishPolls());
    ASSERT_EQ(store.cells().size(), 4u);
    EXPECT_EQ(store.cells()[0]->id(), local);
    std::vector<QString> refs, labels;
    for (size_t i = 1; i < 4; ++i) {
        refs.push_back(store.cells()[i]->externalRef().value_or("?"));
        labels.push_back(store.cells()[i]->projectLabel());
        EXPECT_EQ(store.iterm2().idToGuid.value(store.cells()[i]->id()), refs.back());
    }
    EXPECT_EQ(refs, (std::vector<QString>{"a", "b", "c"}));
    EXPECT_EQ(labels, (std::vector<QString>{"alpha", "beta again", "gamma"})) << "the later of two equal ids wins";
    EXPECT_EQ(store.cells()[2]->previewText(), "B2");
    EXPECT_EQ(saves(), 1);

    // Known sessions are not taken in again, and a poll that adds nothing saves nothing.
    advance(2);
    store.tick();
    ASSERT_TRUE(finishPolls());
    EXPECT_EQ(store.cells().size(), 4u);
    EXPECT_EQ(saves(), 0);
}

TEST_F(StoreTest, VisibleITerm2CellsTakeLabelPreviewAndStatusFromThePoll)
{
    // 30 lines, the last one 200 emoji with skin tones (two code points,
    // four UTF-16 units each).
    QString contents;
    for (int i = 1; i < 30; ++i) contents += QString("line %1\n").arg(i);
    QString emoji;
    for (int i = 0; i < 200; ++i) emoji += QString::fromUtf8("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD");
    contents += emoji;

    FakeOsascript osascript;
    osascript.setReply(listing({{"G1", "build (node)", contents}, {"G2", "other", "Proceed? (y/n)"}}));
    SessionStore& store = makeStore();
    store.absorbExternal("G1", "first", 0);
    store.absorbExternal("G2", "second", 1);
    const auto one = store.cells()[0];
    const auto two = store.cells()[1];
    store.visibleCells.insert(one->id());

    store.tick();
    ASSERT_TRUE(finishPolls());
    EXPECT_EQ(one->projectLabel(), "build (node)");
    const QStringList lines = one->previewText().split('\n');
    ASSERT_EQ(lines.size(), 24);
    EXPECT_EQ(lines.first(), "line 7");
    EXPECT_EQ(graphemeCount(lines.last()), 160);
    EXPECT_TRUE(emoji.startsWith(lines.last()));
    EXPECT_EQ(two->projectLabel(), "second") << "a cell off screen is not refreshed";
    EXPECT_TRUE(two->previewText().isEmpty());
    EXPECT_TRUE(store.lastChange().contains("G1"));
    EXPECT_FALSE(store.lastHash().contains("G2"));

    // Unchanged contents go idle once silent past the threshold, on the
    // second poll that says so.
    advance(store.idleThresholdSec() + 1);
    store.tick();
    ASSERT_TRUE(finishPolls());
    EXPECT_EQ(one->pendingStatus, TerminalStatus::idle);
    advance(2);
    store.tick();
    ASSERT_TRUE(finishPolls());
    EXPECT_EQ(one->status(), TerminalStatus::idle);

    // While a cell is expanded only that cell is refreshed; a fixed label stays.
    store.setLabel(two->id(), "mine");
    store.toggleExpand(two->id());
    EXPECT_TRUE(embedded_->focused.empty()) << "expanding an iTerm2 cell does not activate it";
    for (int poll = 0; poll < 2; ++poll) {
        advance(2);
        store.tick();
        ASSERT_TRUE(finishPolls());
    }
    EXPECT_EQ(two->projectLabel(), "mine");
    EXPECT_EQ(two->previewText(), "Proceed? (y/n)");
    EXPECT_EQ(two->status(), TerminalStatus::waiting);
}

TEST(SessionTextTest, LabelsLoseOneTrailingGroupOnlyWhenAskedAndPreviewsKeepTheTail)
{
    EXPECT_EQ(SessionText::cleanLabel("  build (node) \n", true), "build");
    EXPECT_EQ(SessionText::cleanLabel("build (node)", false), "build (node)");
    EXPECT_EQ(SessionText::cleanLabel("a (x) (y)", true), "a (x)");
    EXPECT_EQ(SessionText::cleanLabel("(only)", true), "");
    EXPECT_EQ(SessionText::cleanLabel("f(a(b))", true), "f(a(b))") << "nested groups are not a tail";

    EXPECT_EQ(SessionText::tail("a\nb\n", 24), "a\nb\n");
    EXPECT_EQ(SessionText::tail("1\n2\n3", 2), "2\n3");
    // Combining marks stay with their base: 170 "é" written as e + U+0301.
    QString accents;
    for (int i = 0; i < 170; ++i) accents += QString("e\u0301");
    EXPECT_EQ(SessionText::tail(accents, 24).size(), 320);
}
