// The user actions: new terminals and their failure, rename, close, expand,
// broadcast, search, reordering and iTerm2 drops, profiles.
#include "StoreTestSupport.h"

using namespace tilebay;
using namespace tilebay::testing;

TEST_F(StoreTest, NewTerminalSheetTrimsItsFieldsAndAFailedCreationLogsOneLine)
{
    SessionStore& store = makeStore();
    store.setNewTerminalName("stale");
    store.promptNewTerminal();
    EXPECT_TRUE(store.showNewTerminalPrompt());
    EXPECT_TRUE(store.newTerminalName().isEmpty());

    // Blanks count as absent; the adapter numbers the label and leaves it unlocked.
    store.setNewTerminalName("   ");
    store.setNewTerminalCwd("  /srv \n");
    store.confirmNewTerminal();
    EXPECT_EQ(embedded_->lastLabel, std::nullopt);
    EXPECT_EQ(embedded_->lastCwd, "/srv");
    EXPECT_EQ(embedded_->lastCommand, std::nullopt);
    ASSERT_EQ(store.cells().size(), 1u);
    EXPECT_FALSE(store.cells()[0]->labelLockedByUser());
    EXPECT_FALSE(store.showNewTerminalPrompt());
    EXPECT_EQ(saves(), 1);

    embedded_->failCreation = "no pseudo-terminal left";
    corvel::log::Capture log;
    store.promptNewTerminal();
    store.setNewTerminalName("api");
    store.setNewTerminalCommand("make run");
    store.confirmNewTerminal();
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Tilebay: 내장 세션 생성 실패 — no pseudo-terminal left"});
    EXPECT_EQ(store.cells().size(), 1u);
    EXPECT_FALSE(store.showNewTerminalPrompt()) << "the sheet closes all the same";
    EXPECT_TRUE(store.newTerminalName().isEmpty());
    EXPECT_TRUE(store.newTerminalCommand().isEmpty());
    EXPECT_EQ(saves(), 0);
}

TEST_F(StoreTest, RenameCloseAndExpandIgnoreBlanksAndUnknownIds)
{
    SessionStore& store = makeStore();
    const auto shell = store.newEmbeddedSession(std::nullopt, std::nullopt, std::nullopt);
    store.absorbExternal("G1", "remote", 1);
    const auto remote = store.cells()[1];
    saves();

    store.setLabel(shell->id(), " \n\t ");
    EXPECT_EQ(shell->projectLabel(), "Untitled-1");
    EXPECT_FALSE(shell->labelLockedByUser());
    store.setLabel("nope", "x");
    store.toggleExpand("nope");
    EXPECT_FALSE(store.expandedID().has_value());
    store.focus("nope");
    EXPECT_EQ(saves(), 0);

    store.setLabel(shell->id(), "  api server \n");
    EXPECT_EQ(shell->projectLabel(), "api server");
    EXPECT_TRUE(shell->labelLockedByUser());
    EXPECT_EQ(saves(), 1);

    // A cell whose panes are gone cannot take the focus; the error is swallowed.
    embedded_->cells[shell->id()].panes = 0;
    store.toggleExpand(shell->id());
    EXPECT_EQ(store.expandedID(), shell->id());
    store.toggleExpand(shell->id());
    EXPECT_FALSE(store.expandedID().has_value());

    // Closing: the expanded overlay goes; an iTerm2 cell is only detached.
    store.toggleExpand(remote->id());
    store.closeCell(remote->id());
    EXPECT_FALSE(store.expandedID().has_value());
    EXPECT_FALSE(store.iterm2().idToGuid.contains(remote->id()));
    EXPECT_TRUE(embedded_->closed.empty());
    store.closeCell(shell->id());
    EXPECT_EQ(embedded_->closed, std::vector<QString>{shell->id()});
    EXPECT_TRUE(store.cells().empty());
    ASSERT_TRUE(savedDoc());
    EXPECT_TRUE(savedDoc()->cells.empty());
}

TEST_F(StoreTest, BroadcastTypesIntoTheFirstPaneOfEachSelectedEmbeddedCellInGridOrder)
{
    SessionStore& store = makeStore();
    std::vector<QString> shells;
    for (int i = 0; i < 3; ++i)
        shells.push_back(store.newEmbeddedSession(std::nullopt, std::nullopt, std::nullopt)->id());
    for (const QString& id : shells) embedded_->cells[id].panes = 2;  // split cells
    store.absorbExternal("G1", "remote", 1);
    const QString remote = store.cells()[1]->id();
    saves();

    store.toggleBroadcastMode();
    EXPECT_TRUE(store.broadcastMode());
    EXPECT_EQ(store.broadcastTargets(), QSet<QString>(shells.begin(), shells.end()));
    store.toggleBroadcastTarget(remote);
    store.toggleBroadcastTarget("vanished");
    store.sendBroadcast("echo X");
    const std::vector<std::pair<QString, QString>> expected{
        {shells[0], "echo X\r"}, {shells[1], "echo X\r"}, {shells[2], "echo X\r"}};
    EXPECT_EQ(embedded_->typed, expected);

    // Off clears the selection; on again selects every embedded cell anew.
    store.toggleBroadcastTarget(shells[1]);
    embedded_->typed.clear();
    store.sendBroadcast("ls");
    EXPECT_EQ(embedded_->typed.size(), 2u);
    store.toggleBroadcastMode();
    EXPECT_TRUE(store.broadcastTargets().isEmpty());
    store.toggleBroadcastMode();
    EXPECT_TRUE(store.broadcastTargets().contains(shells[1]));
    EXPECT_EQ(saves(), 0) << "broadcast state is not saved";
}

TEST_F(StoreTest, SearchGoesToTheFirstPaneOfAnEmbeddedCellOnly)
{
    SessionStore& store = makeStore();
    const QString shell = store.newEmbeddedSession(std::nullopt, std::nullopt, std::nullopt)->id();
    store.absorbExternal("G1", "remote", 1);
    const QString remote = store.cells()[1]->id();
    auto& target = embedded_->cells[shell].search;

    EXPECT_FALSE(store.search(remote, "x", true));
    EXPECT_FALSE(store.search(shell, "", true));
    EXPECT_FALSE(store.search("nope", "x", true));
    EXPECT_TRUE(target.calls.empty());

    EXPECT_TRUE(store.search(shell, "error", true));
    target.found = false;
    EXPECT_FALSE(store.search(shell, "error", false));
    ASSERT_EQ(target.calls.size(), 2u);
    EXPECT_TRUE(target.calls[0].forward);
    EXPECT_FALSE(target.calls[1].forward);
    EXPECT_TRUE(target.calls[1].scrollToResult);
    EXPECT_EQ(target.calls[1].term, "error");
}

TEST_F(StoreTest, DropsReorderCellsAndTakeInDraggedITerm2Sessions)
{
    SessionStore& store = makeStore();
    std::vector<QString> c;
    for (int i = 0; i < 3; ++i) c.push_back(store.newEmbeddedSession(std::nullopt, std::nullopt, std::nullopt)->id());
    saves();

    // Onto the add tile (index = cell count): the cell goes last.
    EXPECT_TRUE(store.handleDrop(c[0], 3));
    EXPECT_EQ(ids(store), (std::vector<QString>{c[1], c[2], c[0]}));
    EXPECT_EQ(savedDoc()->cells[2].internalId, c[0].toStdString());
    // Onto its own slot: accepted and saved unchanged.
    EXPECT_TRUE(store.handleDrop(c[1], 0));
    EXPECT_EQ(saves(), 2);
    EXPECT_FALSE(store.handleDrop("nope", 0));
    EXPECT_EQ(saves(), 0);

    store.setStripTitleTails(true);
    EXPECT_TRUE(store.handleDrop(QString("EXT\u0001G9\u0001logs (tail)"), 1));
    ASSERT_EQ(store.cells().size(), 4u);
    const auto dropped = store.cells()[1];
    EXPECT_EQ(dropped->kind(), AdapterKind::iterm2);
    EXPECT_EQ(dropped->externalRef(), "G9");
    EXPECT_EQ(dropped->projectLabel(), "logs");
    EXPECT_FALSE(dropped->labelLockedByUser());
    EXPECT_EQ(dropped->id().size(), 14);
    EXPECT_EQ(store.iterm2().idToGuid.value(dropped->id()), "G9");
    EXPECT_EQ(saves(), 1);

    EXPECT_TRUE(store.handleDrop(QString("EXT\u0001G8"), -5));
    EXPECT_EQ(store.cells()[0]->projectLabel(), "G8") << "without a name the id is the label";
    EXPECT_TRUE(store.handleDrop(QString("EXT\u0001"), 0)) << "accepted, but there is no session id";
    EXPECT_TRUE(store.handleDrop(QString("EXT\u0001G9\u0001again"), 0)) << "already in the grid";
    EXPECT_EQ(store.cells().size(), 5u);
    EXPECT_EQ(saves(), 1);
}

TEST_F(StoreTest, ImportListOffersSessionsNotInTheGridAndAbsorbingPrunesIt)
{
    FakeOsascript osascript;
    osascript.setReply(listing({{"G2", "two", ""}, {"G1", "one", ""}, {"", "no id", ""}, {"G2", "two again", ""},
                                {"G3", "three", ""}}));
    SessionStore& store = makeStore();
    store.absorbExternal("G1", "one", 0);

    store.refreshImportList();
    EXPECT_TRUE(store.importLoading());
    ASSERT_TRUE(pumpUntil([&] { return !store.importLoading(); }));
    ASSERT_EQ(store.importList().size(), 2);
    EXPECT_EQ(store.importList()[0].guid, "G2");
    EXPECT_EQ(store.importList()[0].name, "two") << "the first snapshot of an id wins";
    EXPECT_EQ(store.importList()[1].guid, "G3");

    store.absorbExternal("G3", "three", 99);
    EXPECT_EQ(store.cells().back()->externalRef(), "G3") << "the index is clamped to the end";
    ASSERT_EQ(store.importList().size(), 1);
    EXPECT_EQ(store.importList()[0].guid, "G2");
}

TEST_F(StoreTest, TextForAnITerm2CellIsTrimmedAndGoesByAppleScript)
{
    FakeOsascript osascript;
    SessionStore& store = makeStore();
    store.absorbExternal("G1", "one", 0);
    const QString remote = store.cells()[0]->id();

    store.sendToITerm2(remote, " \n ");
    store.sendToITerm2("nope", "ls");
    store.sendToITerm2(remote, "  git status \n");
    ASSERT_TRUE(pumpUntil([&] { return !osascript.scripts().empty(); }));
    const auto scripts = osascript.scripts();
    ASSERT_EQ(scripts.size(), 1u) << "blank text and unknown cells send nothing";
    EXPECT_NE(scripts[0].find("\"git status\""), std::string::npos);
    EXPECT_NE(scripts[0].find("\"G1\""), std::string::npos);
}
