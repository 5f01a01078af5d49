// The store over the real embedded adapter and real tmux (its sockets in a
// temporary folder, its server killed after each test): a tmux cell whose
// client detaches or is killed stays in the grid and the saved layout and
// attaches to the same session again, also when tmux persistence is off and
// the cell was restored onto a session that still lived; a session that
// really ends (its shell exits, or it is killed) removes the cell.
#include "StoreTestSupport.h"

#include "app/adapters/embedded/EmbeddedAdapter.h"
#include "app/adapters/embedded/HookedPaneKit.h"
#include "app/adapters/embedded/HookedTerminalView.h"

#include <signal.h>

using namespace tilebay;
using namespace tilebay::testing;

namespace {

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

    SessionStore& makeTmuxStore()
    {
        auto adapter = std::make_unique<EmbeddedAdapter>(std::make_unique<HookedPaneKit>(), TmuxLookup{{kTmux}, false});
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

}  // namespace
