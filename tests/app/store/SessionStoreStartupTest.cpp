// Start-up of the store: restore rules, the timer's period, the first-run
// flag, an unreadable document, and what settings writes do.
#include "StoreTestSupport.h"

#include "app/ui/toolbar/SessionToolbarStore.h"

#include <QSignalSpy>

using namespace tilebay;
using namespace tilebay::testing;

namespace {

const char* kMixedLayout = R"({
  "version": 1,
  "pollIntervalMs": 100,
  "idleThresholdSec": 5,
  "terminalTheme": "neon",
  "appearance": "Dark",
  "terminalFontSize": 15.5,
  "tmuxPersistence": true,
  "profiles": [{"id": "p1", "name": "logs", "cwd": "/var/log"}],
  "cells": [
    {"internalId": "emb1", "adapterKind": "embedded", "projectLabel": "work", "labelLockedByUser": true,
     "cwd": "/tmp", "startCommand": "echo hi", "gridRow": 0, "gridCol": 0},
    {"internalId": "it0", "adapterKind": "iterm2", "projectLabel": "lost"},
    {"internalId": "mock1", "adapterKind": "mock", "projectLabel": "m"},
    {"internalId": "it1", "adapterKind": "iterm2", "externalRef": "G1", "projectLabel": "remote",
     "cwd": "/ignored", "startCommand": "ignored"}
  ]
})";

}  // namespace

TEST_F(StoreTest, RestoreKeepsEmbeddedAndKeyedITerm2CellsAndWritesNothingUntilAChange)
{
    writeLayout(kMixedLayout);
    const std::string before = readFile(layoutPath());
    SessionStore& store = makeStore();

    EXPECT_EQ(ids(store), (std::vector<QString>{"emb1", "it1"}));
    ASSERT_EQ(embedded_->restored.size(), 1u);
    EXPECT_EQ(embedded_->restored[0].startCommand, "echo hi");
    EXPECT_EQ(store.iterm2().idToGuid.value("it1"), "G1");
    const auto& remote = store.cells()[1];
    EXPECT_EQ(remote->projectLabel(), "remote");
    EXPECT_FALSE(remote->cwd().has_value()) << "an iTerm2 cell has no folder of its own";
    EXPECT_FALSE(remote->startCommand().has_value());

    // Settings: the period floored in memory, unknown theme and a differently
    // cased appearance fall back, and the adapter starts with them.
    EXPECT_EQ(store.pollIntervalMs(), 250);
    EXPECT_EQ(store.timerIntervalMs(), 250);
    EXPECT_EQ(store.idleThresholdSec(), 5);
    EXPECT_EQ(store.terminalTheme(), TerminalTheme::dark);
    EXPECT_EQ(store.appearance(), AppAppearance::system);
    EXPECT_EQ(embedded_->fontSize, 15.5);
    EXPECT_TRUE(embedded_->useTmux);
    ASSERT_EQ(store.profiles().size(), 1u);
    EXPECT_EQ(store.profiles()[0].cwd, "/var/log");
    EXPECT_TRUE(store.didRestore());
    EXPECT_FALSE(store.showOnboarding());

    EXPECT_EQ(saves(), 0) << "the restore's own setting writes must not save";
    EXPECT_EQ(readFile(layoutPath()), before);

    store.setLabel("emb1", "renamed");
    EXPECT_EQ(saves(), 1);
    const auto doc = savedDoc();
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->cells.size(), 2u) << "the dropped records are gone from the next save";
    EXPECT_EQ(doc->cells[0].projectLabel, "renamed");
    EXPECT_EQ(doc->cells[1].externalRef, "G1");
    EXPECT_FALSE(doc->cells[1].cwd.has_value());
    EXPECT_EQ(doc->cells[1].gridCol, 1);
    EXPECT_TRUE(doc->relaunchEmbeddedOnStart);
    EXPECT_EQ(doc->terminalTheme, "dark");
}

// A record given a fresh id (tmux would rename its session, or another
// record has its id) is written back at once: read again at the next start,
// it would get another fresh id, and the session made for this one would be
// out of every cell's reach.
TEST_F(StoreTest, FreshCellIdsAreSavedAtOnceSoTheNextStartKeepsThem)
{
    writeLayout(R"({"tmuxPersistence": true, "cells": [
        {"internalId": "a4.dot:col", "adapterKind": "embedded", "projectLabel": "dotted"},
        {"internalId": "keep", "adapterKind": "embedded"},
        {"internalId": "keep", "adapterKind": "embedded", "projectLabel": "twin"}]})");
    SessionStore& store = makeStore();
    const std::vector<QString> first = ids(store);
    ASSERT_EQ(first.size(), 3u);
    EXPECT_NE(first[0], "a4.dot:col");
    EXPECT_EQ(first[1], "keep");
    EXPECT_NE(first[2], "keep");
    EXPECT_EQ(saves(), 1);

    store_.reset();
    SessionStore& again = makeStore();
    EXPECT_EQ(ids(again), first);
    EXPECT_EQ(again.cells()[0]->projectLabel(), "dotted");
    EXPECT_EQ(saves(), 0) << "a document whose ids all fit is not written at start";
}

TEST_F(StoreTest, RestoreWithoutRelaunchKeepsOnlyITerm2Cells)
{
    std::string layout = kMixedLayout;
    layout.insert(layout.find("\"version\""), "\"relaunchEmbeddedOnStart\": false, ");
    writeLayout(layout);
    SessionStore& store = makeStore();
    EXPECT_EQ(ids(store), (std::vector<QString>{"it1"}));
    EXPECT_TRUE(embedded_->restored.empty());
}

TEST_F(StoreTest, WithoutALayoutTheFirstRunSheetShowsAndAShortPeriodIsSavedAsSet)
{
    SessionStore& store = makeStore();
    EXPECT_TRUE(store.showOnboarding());
    EXPECT_TRUE(store.didRestore());
    EXPECT_FALSE(fs::exists(layoutPath()));
    EXPECT_EQ(store.timerIntervalMs(), 1000);
    EXPECT_FALSE(store.timerActive()) << "the tests drive the ticks";

    store.setPollIntervalMs(100);
    EXPECT_EQ(store.timerIntervalMs(), 1000) << "the running timer keeps its period until restarted";
    EXPECT_EQ(saves(), 0);
    store.persist();
    store.startTimer();
    EXPECT_EQ(store.timerIntervalMs(), 250);
    ASSERT_TRUE(savedDoc());
    EXPECT_EQ(savedDoc()->pollIntervalMs, 100);

    store.setPollIntervalMs(5000);
    store.startTimer();
    EXPECT_EQ(store.timerIntervalMs(), 5000);
}

TEST_F(StoreTest, UnreadableLayoutIsSetAsideAndTheFirstChangeWritesAWholeDocument)
{
    writeLayout("{\"cells\": [ this is not JSON");
    corvel::log::Capture log;
    SessionStore& store = makeStore();

    EXPECT_TRUE(store.showOnboarding());
    EXPECT_TRUE(store.didRestore());
    EXPECT_TRUE(store.cells().empty());
    EXPECT_EQ(store.pollIntervalMs(), 1000);
    EXPECT_FALSE(fs::exists(layoutPath()));
    int asideFiles = 0;
    for (const auto& entry : fs::directory_iterator(layoutDir())) {
        if (entry.path().filename().string().rfind("layout.json.unreadable-", 0) != 0) continue;
        ++asideFiles;
        EXPECT_EQ(readFile(entry.path()), "{\"cells\": [ this is not JSON");
    }
    EXPECT_EQ(asideFiles, 1) << "the unreadable document is kept, not lost";
    EXPECT_EQ(log.count("Tilebay: "), 1u);

    store.addProfile("  build  ", QString(), QString());
    EXPECT_EQ(saves(), 1);
    const std::string written = readFile(layoutPath());
    for (const char* key : {"\"cells\"", "\"pollIntervalMs\"", "\"idleThresholdSec\"", "\"relaunchEmbeddedOnStart\"",
                            "\"absorbITerm2\"", "\"appearance\"", "\"terminalTheme\"", "\"terminalFontSize\"",
                            "\"tmuxPersistence\"", "\"profiles\"", "\"version\""})
        EXPECT_NE(written.find(key), std::string::npos) << key;
    const auto doc = savedDoc();
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->profiles.size(), 1u);
    EXPECT_EQ(doc->profiles[0].name, "build");
    EXPECT_EQ(doc->profiles[0].id.size(), 14u);
    EXPECT_EQ(written.find("\"cwd\""), std::string::npos) << "an empty folder is left out";
    EXPECT_EQ(written.find("\"startCommand\""), std::string::npos);
}

TEST_F(StoreTest, SettingsWritesApplyAndSaveAsEachOneSays)
{
    SessionStore& store = makeStore();
    QSignalSpy fontSignals(&store, &SessionStore::terminalFontSizeChanged);

    store.setTerminalFontSize(16);
    EXPECT_EQ(fontSignals.count(), 1);
    ASSERT_FALSE(embedded_->themed.empty());
    EXPECT_EQ(embedded_->themed.back(), std::make_pair(TerminalTheme::dark, 16.0));
    EXPECT_EQ(saves(), 1);

    store.setTerminalTheme(TerminalTheme::dracula);
    EXPECT_EQ(embedded_->themed.back(), std::make_pair(TerminalTheme::dracula, 16.0));
    store.setTmuxPersistence(true);
    EXPECT_TRUE(embedded_->useTmux);
    store.setAppearance(AppAppearance::light);
    EXPECT_EQ(saves(), 3);

    // These only publish; the settings sheet saves after them.
    store.setUseITerm2PythonAPI(true);
    EXPECT_TRUE(store.iterm2().usePythonAPI);
    store.setIdleThresholdSec(3);
    store.setStripTitleTails(true);
    store.setProfiles({});
    EXPECT_EQ(saves(), 0);

    EXPECT_TRUE(store.tmuxAvailable());
    EXPECT_TRUE(store.tmuxAvailable());
    EXPECT_EQ(tmuxLookups_, 1) << "tmux is looked for once";
}

TEST_F(StoreTest, ToolbarViewForwardsToTheStoreAndHearsItsChanges)
{
    SessionStore& store = makeStore();
    SessionToolbarStore toolbar(store);
    QSignalSpy changed(&toolbar, &ToolbarStore::changed);

    store.newEmbeddedSession(std::nullopt, std::nullopt, std::nullopt);
    EXPECT_EQ(toolbar.cellCount(), 1);
    toolbar.setZoom(2.0);
    EXPECT_EQ(store.zoom(), 2.0);
    toolbar.toggleBroadcastMode();
    EXPECT_TRUE(store.broadcastMode());
    EXPECT_EQ(changed.count(), 3);
    toolbar.promptNewTerminal();
    EXPECT_TRUE(store.showNewTerminalPrompt());
}
