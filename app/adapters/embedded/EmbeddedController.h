// What the session store needs of the embedded adapter, beyond the adapter
// interface every session adapter implements: making and restoring cells,
// forgetting an ended cell, theming, pane counts, splitting, the first pane as
// a search target, and the fields the store sets or reads (callbacks, theme, font
// size, tmux choice, activity times).
//
// Through TerminalController the store also uses: visibleText (the first
// pane's live screen, one line per row with trailing blanks trimmed; empty
// without panes), sendText (types into the first pane), focus (raises
// AdapterError::notFound for a cell without panes), closeSession (kills the
// cell's tmux session while tmux is on, ends every pane's process and forgets
// the cell, with no termination callback) and cellContentView.
//
// Threads: the main thread only; both callbacks are called there.
// Ownership: the store owns its adapter and shares the cells' records with it.
// Lifetime: onTerminated is called on a later turn than the child's end,
// from the adapter's own queued work and never from a pane's callback, with
// an id the adapter owns: the store may forget the cell (forgetSession)
// before it returns.
#pragma once

#include "app/adapters/embedded/SearchTarget.h"
#include "app/core/TerminalController.h"
#include "app/core/TerminalSession.h"
#include "app/core/TerminalTheme.h"
#include "app/persistence/CellRecord.h"

#include "corvel/platform/Dispatch.h"

#include <QHash>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tilebay {

class EmbeddedController : public TerminalController {
public:
    AdapterKind kind() const override { return AdapterKind::embedded; }

    // A new cell with its first pane running. A non-empty label is locked as
    // the user's; without one the adapter numbers an untitled label. An empty
    // folder means the home folder, an empty command none. May throw a
    // std::exception when the cell cannot be made.
    virtual std::shared_ptr<TerminalSession> createSession(const std::optional<QString>& label,
                                                           const std::optional<QString>& cwd,
                                                           const std::optional<QString>& startCommand) = 0;
    // A saved cell (id, label, lock, folder, command of the record) with its
    // first pane running again.
    virtual std::shared_ptr<TerminalSession> restoreSession(const CellRecord& record) = 0;
    // Frees a cell whose last process has ended: its views, emulators and
    // scrollback and every table entry; tmux is not touched.
    virtual void forgetSession(const QString& id) = 0;

    // Remembers the theme and size for new panes and re-themes every live pane.
    virtual void applyThemeToAll(TerminalTheme theme, double fontSize) = 0;
    // The cell's number of panes; 0 for a cell the adapter does not hold.
    virtual int paneCount(const QString& id) const = 0;
    // The cell's first pane as a search target; null without panes.
    virtual SearchTarget* primarySearch(const QString& id) = 0;

    // The tile's split controls: a further pane (up to four), the other
    // split direction, and the end of the last pane of a cell with several.
    // Each raises the cell's paneRevision when it changed something. A
    // controller without split panes keeps these as they are: nothing happens.
    virtual void splitSession(const QString& /*id*/) {}
    virtual void toggleAxis(const QString& /*id*/) {}
    virtual void removeLastPane(const QString& /*id*/) {}

    // Set by the store: the cell produced output (at most once per 0.12 s
    // per cell), and the process of the cell's last pane ended (reported on
    // a later turn, see above; for a tmux client, only once its session has
    // ended: a client that detaches attaches again).
    std::function<void(const QString& id)> onActivity;
    std::function<void(const QString& id)> onTerminated;
    // Applied to panes made from now on; the store sets them from its settings.
    TerminalTheme theme = TerminalTheme::dark;
    double fontSize = 13.0;
    bool useTmux = false;
    // When any pane of a cell last produced output, or its newest pane was
    // made, on the store's clock (corvel::monotonicNanos unless injected).
    // A cell without an entry counts as silent since the distant past.
    QHash<QString, corvel::Nanos> lastActivity;
};

}  // namespace tilebay
