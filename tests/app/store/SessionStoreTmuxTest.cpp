// The store over the real embedded adapter and real tmux (its sockets in a
// temporary folder, its server killed after each test): a tmux cell whose
// client detaches or is killed stays in the grid and the saved layout and
// attaches to the same session again, also when tmux persistence is off and
// the cell was restored onto a session that still lived; a session that
// really ends (its shell exits, or it is killed) removes the cell. A cell
// whose id begins another cell's id never reaches that cell's session, and a
// cell id tmux would change in a session name is replaced when the layout is
// read, so the cell keeps its session.
#include "StoreTestSupport.h"

#include "app/adapters/embedded/EmbeddedAdapter.h"
#include "app/adapters/embedded/HookedPaneKit.h"
#include "app/adapters/embedded/HookedTerminalView.h"
#include "app/persistence/TmuxSessionName.h"

#include <signal.h>

#include <algorithm>
#include <functional>
#include <sstream>

using namespace tilebay;
using namespace tilebay::testing;

namespace {

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class StoreTmuxTest : public StoreTest {
protected:
    void SetUp() override
    {
        if (!fs::exists(kTmux)) GTEST_SKIP() << "tmux is not installed";
    }
    void TearDown() override
    {
        store_.reset();
        tmux({"kill-server"});
        pumpUntil([] { return zombieChildren().empty(); });
    }

    // `queue` runs the adapter's delayed work (the start command, attaching
    // again); null means the main queue.
    SessionStore& makeTmuxStore(TmuxLookup lookup = {{kTmux}, false}, corvel::DispatchQueue* queue = nullptr)
    {
        auto adapter = std::make_unique<EmbeddedAdapter>(std::make_unique<ShownPaneKit>(), lookup, queue);
        adapter_ = adapter.get();
        store_ = std::make_unique<SessionStore>(dependencies(std::move(adapter)));
        return *store_;
    }

    // The pid of the tmux client in the cell's first pane (0 while none runs).
    pid_t client(const QString& id) const
    {
        auto* pane = static_cast<HookedTerminalView*>(adapter_->primary(id));
        return pane && pane->process().running() ? pane->process().shellPid() : 0;
    }
    // The pid of the shell inside the cell's tmux session, as tmux tells it.
    static std::string sessionShell(const QString& id)
    {
        return tmux({"display-message", "-p", "-t", session(id), "#{pane_pid}"}).output;
    }
    static std::string session(const QString& id) { return "cwr_" + id.toStdString(); }
    // The target of the cell's session and no other.
    static std::string exact(const QString& id) { return "=" + session(id); }
    bool attached(const QString& id)
    {
        return pumpUntil([&] {
            return client(id) != 0 && !tmux({"list-clients", "-t", session(id)}).output.empty();
        });
    }
    // Waits until a client other than `old` is attached to the cell's session.
    bool attachedAgain(const QString& id, pid_t old)
    {
        return pumpUntil([&] { return client(id) != old && client(id) != 0; }) && attached(id);
    }
    // Runs the event loop and the adapter's queue until `done` holds.
    bool pumpWith(corvel::RunLoopQueue& queue, const std::function<bool()>& done)
    {
        return pumpUntil([&] {
            queue.runUntilIdle();
            return done();
        });
    }
    // The lines of a file in the home folder, sorted.
    std::vector<std::string> sortedLines(const std::string& name) const
    {
        auto lines = readLines(dir_.path() / name);
        std::sort(lines.begin(), lines.end());
        return lines;
    }
    std::vector<std::string> sessions() const
    {
        auto names = splitLines(tmux({"list-sessions", "-F", "#{session_name}"}).output);
        std::sort(names.begin(), names.end());
        return names;
    }
    bool saved(const QString& id) const
    {
        const auto doc = savedDoc();
        if (!doc) return false;
        for (const auto& record : doc->cells)
            if (record.internalId == id.toStdString()) return true;
        return false;
    }

    ScopedEnv home_{"HOME", dir_.path().string()};
    ScopedEnv tmuxDir_{"TMUX_TMPDIR", dir_.path().string()};
    ScopedEnv shell_{"SHELL", "/bin/bash"};
    EmbeddedAdapter* adapter_ = nullptr;  // owned by the store
};

TEST_F(StoreTmuxTest, DetachedOrKilledClientKeepsTheCellOnItsSessionUntilTheSessionEnds)
{
    SessionStore& store = makeTmuxStore();
    store.setTmuxPersistence(true);
    const QString id = store.newEmbeddedSession(QStringLiteral("job"), std::nullopt, std::nullopt)->id();
    const QString other = store.newEmbeddedSession(QStringLiteral("other"), std::nullopt, std::nullopt)->id();
    ASSERT_TRUE(attached(id));
    ASSERT_TRUE(attached(other));
    const std::string shell = sessionShell(id);
    ASSERT_FALSE(shell.empty());

    // Detached by tmux, then the client killed: each time the same session,
    // with the same shell, is attached again; the cell stays in the grid
    // and in the saved layout.
    pid_t old = client(id);
    ASSERT_TRUE(tmux({"detach-client", "-s", session(id)}).succeeded());
    ASSERT_TRUE(attachedAgain(id, old));
    old = client(id);
    ASSERT_EQ(::kill(old, SIGKILL), 0);
    ASSERT_TRUE(attachedAgain(id, old));
    EXPECT_EQ(sessionShell(id), shell);
    ASSERT_TRUE(store.cell(id));
    EXPECT_TRUE(saved(id));
    // And typing reaches that shell.
    store.embedded().sendText(id, QStringLiteral("echo $$ > shell.txt\r"));
    ASSERT_TRUE(pumpUntil([&] { return readFile(dir_.path() / "shell.txt").find('\n') != std::string::npos; }));
    EXPECT_EQ(readFile(dir_.path() / "shell.txt"), shell);

    // The session's shell exits: the session has ended, and the cell goes.
    store.embedded().sendText(id, QStringLiteral("exit\r"));
    ASSERT_TRUE(pumpUntil([&] { return !store.cell(id); }));
    EXPECT_FALSE(saved(id));
    EXPECT_FALSE(tmux({"has-session", "-t", session(id)}).succeeded());

    // A session killed from outside takes its cell too.
    ASSERT_TRUE(tmux({"kill-session", "-t", session(other)}).succeeded());
    ASSERT_TRUE(pumpUntil([&] { return store.cells().empty(); }));
    EXPECT_FALSE(saved(other));
}

TEST_F(StoreTmuxTest, WithPersistenceOffARestoredCellKeepsItsLivingSessionUntilItEnds)
{
    const QString id = QStringLiteral("keptSession001");
    ASSERT_TRUE(tmux({"new-session", "-d", "-s", session(id)}).succeeded());
    writeLayout(R"({"version": 1, "tmuxPersistence": false, "relaunchEmbeddedOnStart": true,
      "cells": [{"internalId": "keptSession001", "adapterKind": "embedded", "projectLabel": "kept"}]})");
    SessionStore& store = makeTmuxStore();
    ASSERT_TRUE(store.cell(id));
    ASSERT_TRUE(attached(id));
    const std::string shell = sessionShell(id);

    const pid_t old = client(id);
    ASSERT_TRUE(tmux({"detach-client", "-s", session(id)}).succeeded());
    ASSERT_TRUE(attachedAgain(id, old));
    EXPECT_EQ(sessionShell(id), shell);
    EXPECT_TRUE(store.cell(id));

    ASSERT_TRUE(tmux({"kill-session", "-t", session(id)}).succeeded());
    ASSERT_TRUE(pumpUntil([&] { return !store.cell(id); }));
    EXPECT_TRUE(store.cells().empty());
}

TEST_F(StoreTmuxTest, ACellWhoseSessionEndedNeverTakesTheSessionOfALongerId)
{
    const QString shortId = QStringLiteral("a4pre");
    const QString longId = QStringLiteral("a4preLONG");
    writeLayout(R"({"version": 1, "tmuxPersistence": true, "relaunchEmbeddedOnStart": true,
      "cells": [{"internalId": "a4pre", "adapterKind": "embedded", "projectLabel": "short"},
                {"internalId": "a4preLONG", "adapterKind": "embedded", "projectLabel": "long"}]})");
    SessionStore& store = makeTmuxStore();
    ASSERT_TRUE(attached(shortId));
    ASSERT_TRUE(attached(longId));
    const pid_t longClient = client(longId);

    // The short cell's shell exits: its session has ended, and the cell goes,
    // instead of attaching to the session whose name begins with its own.
    store.embedded().sendText(shortId, QStringLiteral("exit\r"));
    ASSERT_TRUE(pumpUntil([&] { return !store.cell(shortId); }));
    ASSERT_TRUE(store.cell(longId));
    EXPECT_EQ(tmux({"list-clients", "-t", exact(longId), "-F", "#{client_pid}"}).output,
              std::to_string(longClient) + "\n");
    EXPECT_EQ(client(longId), longClient);
}

TEST_F(StoreTmuxTest, ClosingACellWithoutASessionKillsNoSessionOfALongerId)
{
    // Restored with tmux off and no session of its own: a plain shell.
    writeLayout(R"({"version": 1, "tmuxPersistence": false, "relaunchEmbeddedOnStart": true,
      "cells": [{"internalId": "a4pre", "adapterKind": "embedded", "projectLabel": "short"}]})");
    SessionStore& store = makeTmuxStore();
    const QString shortId = QStringLiteral("a4pre");
    ASSERT_TRUE(store.cell(shortId));
    // Another cell's session, whose name begins with this cell's.
    ASSERT_TRUE(tmux({"new-session", "-d", "-s", "cwr_a4preLONG"}).succeeded());

    // With tmux on, closing the cell kills the session of its name, which
    // does not exist: the other session lives on.
    store.setTmuxPersistence(true);
    store.closeCell(shortId);
    EXPECT_FALSE(store.cell(shortId));
    EXPECT_TRUE(tmux({"has-session", "-t", "=cwr_a4preLONG"}).succeeded());
}

TEST_F(StoreTmuxTest, ACellIdTmuxWouldRenameIsReplacedAndTheCellKeepsItsSessionAcrossADetach)
{
    writeLayout(R"({"version": 1, "tmuxPersistence": true, "relaunchEmbeddedOnStart": true,
      "cells": [{"internalId": "a4.dot:col", "adapterKind": "embedded", "projectLabel": "dotted"}]})");
    SessionStore& store = makeTmuxStore();
    ASSERT_EQ(store.cells().size(), 1u);
    const QString id = store.cells()[0]->id();
    EXPECT_EQ(store.cells()[0]->projectLabel(), QStringLiteral("dotted"));
    EXPECT_NE(id, QStringLiteral("a4.dot:col"));
    EXPECT_TRUE(TmuxSessionName::fitsCellId(id.toStdString())) << id.toStdString();
    ASSERT_TRUE(attached(id));
    EXPECT_EQ(tmux({"list-sessions", "-F", "#{session_name}"}).output, session(id) + "\n");
    const std::string shell = sessionShell(id);

    // A detach is not taken for the end of the session: the same session,
    // with the same shell, is attached again and the cell stays.
    const pid_t old = client(id);
    ASSERT_TRUE(tmux({"detach-client", "-s", exact(id)}).succeeded());
    ASSERT_TRUE(attachedAgain(id, old));
    EXPECT_EQ(sessionShell(id), shell);
    EXPECT_TRUE(store.cell(id));
}

TEST_F(StoreTmuxTest, CellsWhoseIdsCannotNameTheirSessionsKeepNewIdsAndSessionsAcrossStarts)
{
    const auto cell = [](const std::string& id, const std::string& label) {
        return R"({"adapterKind": "embedded", "projectLabel": ")" + label + R"(", "startCommand": "echo )" + label +
               R"( >> ran.txt")" + id + "}";
    };
    // Each layout on its own, so that no case is saved for another: an id
    // with a character newer than some C libraries' tables (U+1FAE8), one
    // too long for tmux's command line, none, null, and twins.
    const std::vector<std::pair<std::string, std::vector<std::string>>> layouts{
        {cell(R"(, "internalId": "odd\uD83E\uDEE8")", "newer"), {"newer"}},
        {cell(R"(, "internalId": ")" + std::string(17000, 'L') + R"(")", "long"), {"long"}},
        {cell("", "missing"), {"missing"}},
        {cell(R"(, "internalId": null)", "null"), {"null"}},
        {cell(R"(, "internalId": "keep")", "first") + "," + cell(R"(, "internalId": "keep")", "twin"),
         {"first", "twin"}},
    };
    for (const auto& [cells, labels] : layouts) {
        SCOPED_TRACE(labels.front());
        ASSERT_TRUE(killTmuxServer());
        fs::remove(dir_.path() / "ran.txt");
        fs::remove(dir_.path() / "done.txt");
        writeLayout(R"({"version": 1, "tmuxPersistence": true, "relaunchEmbeddedOnStart": true, "cells": [)" +
                    cells + "]}");
        std::vector<QString> firstIds;
        for (int start = 0; start < 2; ++start) {
            corvel::RunLoopQueue queue{true};
            SessionStore& store = makeTmuxStore({{kTmux}, false}, &queue);
            ASSERT_EQ(store.cells().size(), labels.size()) << start;
            std::vector<QString> ids;
            for (const auto& c : store.cells()) ids.push_back(c->id());
            for (const QString& id : ids) {
                ASSERT_TRUE(attached(id)) << start;
                EXPECT_TRUE(saved(id)) << start;
            }
            if (start == 0) firstIds = ids;
            EXPECT_EQ(ids, firstIds);
            // One session a cell, and each start command ran once: typed
            // after the first start, not after the second, which found the
            // sessions. A line typed after it marks where it would be.
            queue.advance(EmbeddedAdapter::startCommandDelay);
            for (const QString& id : ids) store.embedded().sendText(id, QStringLiteral("echo done >> done.txt\r"));
            ASSERT_TRUE(
                pumpWith(queue, [&] { return readLines(dir_.path() / "done.txt").size() == ids.size() * (start + 1); }));
            EXPECT_EQ(sortedLines("ran.txt"), labels) << start;
            std::vector<std::string> names;
            for (const QString& id : ids) names.push_back(session(id));
            std::sort(names.begin(), names.end());
            EXPECT_EQ(sessions(), names) << start;
            store_.reset();
        }
    }
}

TEST_F(StoreTmuxTest, ABroadcastToAPaneLeftEndedRunsOnceInItsSessionAfterItAttachesAgain)
{
    // tmux itself, but an attach ends at once while the file "refuse" exists.
    const fs::path wrapper = dir_.path() / "tmux-wrapper";
    const fs::path refuse = dir_.path() / "refuse";
    writeFile(wrapper, std::string("#!/bin/sh\n[ \"$1\" = attach-session ] && [ -e ") + refuse.string() +
                           " ] && exit 1\nexec " + kTmux + " \"$@\"\n");
    fs::permissions(wrapper, fs::perms::owner_all);
    corvel::RunLoopQueue queue{true};
    corvel::log::Capture log;
    SessionStore& store = makeTmuxStore({{wrapper.string()}, false}, &queue);
    store.setTmuxPersistence(true);
    fs::create_directory(dir_.path() / "a");
    fs::create_directory(dir_.path() / "b");
    const QString id =
        store.newEmbeddedSession(QStringLiteral("left"), QString::fromStdString((dir_.path() / "a").string()),
                                 std::nullopt)->id();
    const QString other =
        store.newEmbeddedSession(QStringLiteral("other"), QString::fromStdString((dir_.path() / "b").string()),
                                 std::nullopt)->id();
    ASSERT_TRUE(attached(id));
    ASSERT_TRUE(attached(other));

    // The client detaches at once, and so does every attach after it, until
    // the pane is left ended.
    writeFile(refuse, "");
    ASSERT_TRUE(tmux({"detach-client", "-s", exact(id)}).succeeded());
    corvel::Nanos delay = TmuxPaneClient::firstReattachDelay;
    for (int n = 1; n <= TmuxPaneClient::maxQuickReattaches; ++n) {
        ASSERT_TRUE(pumpWith(queue, [&] { return log.count("tmux 세션 재연결 지연") == static_cast<size_t>(n); }))
            << n << "\n" << ::testing::PrintToString(log.lines());
        queue.advance(std::min(delay, TmuxPaneClient::longestReattachDelay));
        delay *= 2;
    }
    ASSERT_TRUE(pumpWith(queue, [&] { return log.contains("tmux 세션 재연결 중단"); }));
    fs::remove(refuse);

    // A broadcast to every cell reaches the one left ended too, once, after
    // it has attached again; what follows it comes after it.
    store.toggleBroadcastMode();
    ASSERT_EQ(store.broadcastReach(), 2);
    store.sendBroadcast(QStringLiteral("echo bcast3 >> bcast.txt"));
    ASSERT_TRUE(pumpWith(queue, [&] { return readFile(dir_.path() / "b" / "bcast.txt") == "bcast3\n"; }));
    ASSERT_TRUE(pumpWith(queue, [&] { return readFile(dir_.path() / "a" / "bcast.txt") == "bcast3\n"; }));
    store.sendBroadcast(QStringLiteral("echo done >> bcast.txt"));
    ASSERT_TRUE(pumpWith(queue, [&] { return readLines(dir_.path() / "a" / "bcast.txt").size() >= 2; }));
    EXPECT_EQ(readFile(dir_.path() / "a" / "bcast.txt"), "bcast3\ndone\n");
    ASSERT_TRUE(pumpWith(queue, [&] { return readLines(dir_.path() / "b" / "bcast.txt").size() >= 2; }));
    EXPECT_EQ(readFile(dir_.path() / "b" / "bcast.txt"), "bcast3\ndone\n");
    EXPECT_TRUE(store.cell(id));
}

}  // namespace
