// An embedded adapter for the store's tests and benchmarks: cells without
// processes, each with a screen text the test sets, a pane count, the texts
// typed into its first pane and a search target that records its calls.
// Output and the end of a cell's last process are simulated by hand.
#pragma once

#include "app/adapters/embedded/EmbeddedController.h"
#include "app/core/NanoID.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tilebay::testing {

class FakeSearchTarget final : public SearchTarget {
public:
    struct Call {
        QString term;
        bool forward;
        bool scrollToResult;
    };
    std::vector<Call> calls;
    bool found = true;
    int cleared = 0;

    bool findNext(const QString& term, bool scroll) override { return record(term, true, scroll); }
    bool findPrevious(const QString& term, bool scroll) override { return record(term, false, scroll); }
    void clearSearch() override { ++cleared; }

private:
    bool record(const QString& term, bool forward, bool scroll)
    {
        calls.push_back({term, forward, scroll});
        return found;
    }
};

class FakeEmbeddedAdapter : public EmbeddedController {
public:
    struct Cell {
        std::shared_ptr<TerminalSession> session;
        int panes = 1;
        QString screen;
        FakeSearchTarget search;
    };

    // The clock that stamps activity; the store's clock in the tests.
    std::function<corvel::Nanos()> clock = [] { return corvel::Nanos{0}; };
    // When set, createSession throws a runtime_error with this text.
    std::optional<std::string> failCreation;

    std::map<QString, Cell> cells;
    std::vector<CellRecord> restored;
    std::vector<QString> closed, forgotten, focused;
    // Every text typed into a first pane, as (cell id, text), in order.
    std::vector<std::pair<QString, QString>> typed;
    std::vector<std::pair<TerminalTheme, double>> themed;
    // The arguments of the last createSession.
    std::optional<QString> lastLabel, lastCwd, lastCommand;

    // ---- simulation ----

    // A chunk of output from the cell: the stamp, and the store is told
    // (the real adapter limits this to once per 0.12 s).
    void output(const QString& id)
    {
        lastActivity.insert(id, clock());
        if (onActivity) onActivity(id);
    }
    // The process of the cell's last pane ended by itself.
    void end(const QString& id)
    {
        if (onTerminated) onTerminated(id);
    }

    // ---- EmbeddedController ----

    std::shared_ptr<TerminalSession> createSession(const std::optional<QString>& label,
                                                   const std::optional<QString>& cwd,
                                                   const std::optional<QString>& startCommand) override
    {
        lastLabel = label;
        lastCwd = cwd;
        lastCommand = startCommand;
        if (failCreation) throw std::runtime_error(*failCreation);
        const bool named = label && !label->isEmpty();
        const QString text = named ? *label : QString("Untitled-%1").arg(++untitled_);
        return add(QString::fromStdString(NanoID::make(14)), text, named, cwd.value_or("/home"), startCommand);
    }

    std::shared_ptr<TerminalSession> restoreSession(const CellRecord& record) override
    {
        restored.push_back(record);
        std::optional<QString> command;
        if (record.startCommand) command = QString::fromStdString(*record.startCommand);
        return add(QString::fromStdString(record.internalId), QString::fromStdString(record.projectLabel),
                   record.labelLockedByUser, QString::fromStdString(record.cwd.value_or("/home")), command);
    }

    void forgetSession(const QString& id) override
    {
        forgotten.push_back(id);
        drop(id);
    }

    void applyThemeToAll(TerminalTheme t, double size) override
    {
        theme = t;
        fontSize = size;
        themed.emplace_back(t, size);
    }

    int paneCount(const QString& id) const override
    {
        const auto it = cells.find(id);
        return it == cells.end() ? 0 : it->second.panes;
    }

    SearchTarget* primarySearch(const QString& id) override
    {
        const auto it = cells.find(id);
        return it == cells.end() || it->second.panes == 0 ? nullptr : &it->second.search;
    }

    void splitSession(const QString& id) override { change(id, +1); }
    void toggleAxis(const QString& id) override { change(id, 0); }
    void removeLastPane(const QString& id) override { change(id, -1); }

    // ---- TerminalController ----

    QStringList sessionIds() const override
    {
        QStringList ids;
        for (const auto& [id, cell] : cells) ids.append(id);
        return ids;
    }
    bool hasSession(const QString& id) const override { return cells.count(id) > 0; }
    void sendText(const QString& id, const QString& text) override
    {
        if (paneCount(id) > 0) typed.emplace_back(id, text);
    }
    void focus(const QString& id) override
    {
        if (paneCount(id) == 0) throw AdapterError::notFound(id.toStdString());
        focused.push_back(id);
    }
    void closeSession(const QString& id) override
    {
        closed.push_back(id);
        drop(id);
    }
    QString visibleText(const QString& id) const override
    {
        const auto it = cells.find(id);
        return it == cells.end() || it->second.panes == 0 ? QString() : it->second.screen;
    }
    QWidget* cellContentView(const QString&) override { return nullptr; }

private:
    // Pane counts stay within one to four, as the real adapter keeps them.
    void change(const QString& id, int by)
    {
        const auto it = cells.find(id);
        if (it == cells.end()) return;
        const int panes = std::clamp(it->second.panes + by, 1, 4);
        if (by != 0 && panes == it->second.panes) return;
        it->second.panes = panes;
        it->second.session->setPaneRevision(it->second.session->paneRevision() + 1);
    }

    std::shared_ptr<TerminalSession> add(const QString& id, const QString& label, bool locked, const QString& cwd,
                                         const std::optional<QString>& command)
    {
        auto session = std::make_shared<TerminalSession>(id, AdapterKind::embedded, std::nullopt, label, locked, cwd,
                                                         command);
        cells[id].session = session;
        lastActivity.insert(id, clock());  // a new pane counts as fresh output
        return session;
    }
    void drop(const QString& id)
    {
        cells.erase(id);
        lastActivity.remove(id);
    }

    int untitled_ = 0;
};

}  // namespace tilebay::testing
