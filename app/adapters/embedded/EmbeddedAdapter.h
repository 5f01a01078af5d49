// The embedded terminal sessions: for each grid cell of kind `embedded` the
// adapter owns one to four panes, each a terminal view with its own child (a
// login shell, or a tmux client attached to the session "cwr_" + cell id),
// laid out side by side or stacked. It creates and restores the cells'
// records, starts the children, themes the views, stamps every chunk of
// output with the time and tells the store about activity at most once per
// 0.12 s per cell, reads a pane's live screen as text, splits and unsplits
// cells, and reports when a cell's last child has ended.
//
// Threads: the GUI thread only. Delayed work (the start command, the end of a
// pane's child, attaching a tmux client again, held input, the destruction
// of retired panes) runs on the adapter's
// queue, whose clock is also the clock of the activity stamps; both are
// injectable.
//
// Lifetime rule (the panes, the store's callbacks and everything queued here
// follow it): a callback never destroys or replaces its own closure, nor the
// object that holds it, while it runs. So the end of a pane's child (or a
// start that made none), and input a pane held, are only noted where the
// pane reports them (held input is kept then, in the order it came) and are
// handled on a later turn of the queue; ids cross every
// callback and task by value; whoever handles a report or runs a task looks
// the cell and the pane up again (by cell id and pane number) and ignores
// what is gone. Whether something still lives is asked one way per kind: a
// cell or a pane by its id in `panes`, the adapter itself through a weak
// pointer to its token `self_`, a Qt object through QPointer.
// Apart from the containers that show a pane's widget (through QPointer),
// nothing keeps a pointer to a pane past the call that looked it up.
//
// Ownership: each pane has one owner, its cell's entry in `panes`, and once
// retired the queued task that destroys it on a later turn. A container that
// shows a pane's widget is its Qt parent only while it shows it and hands it
// back before it goes (TermContainerView); it never owns it. The records are
// shared with the store.
//
// tmux: while `useTmux` is on, a new or restored cell runs a tmux client on
// its session. While it is off, new cells run a plain shell, and a restored
// cell whose session still lives attaches to it all the same (without typing
// its start command again): the session holds the user's job, which a second
// start would run twice beside a session nothing could reach. A cell started
// in tmux has its session killed when the cell is closed, whatever the switch
// says by then.
//
// A tmux cell's client that ends (the user detached it, or it was killed)
// does not end the cell while its session lives: the session holds the
// user's work, and the cell is the only way to reach or end it. The pane
// attaches to the same session again; only the end of the session (or
// closing the cell) takes the pane, and with the cell's last pane the cell,
// away. How the client attaches again, when it is left ended, and how the
// pane holds its input meanwhile (nothing typed, sent or pasted is lost)
// is TmuxPaneClient's rule. The cell and its session stay until the cell is
// closed.
//
// Invariants: a known cell has a record in `sessions` and one to four panes in
// `panes`; `lastActivity` and `lastBump` hold entries of known cells only;
// closeSession and forgetSession drop every table's entries of a cell together;
// pane numbers are never reused within the adapter's life.
#pragma once

#include "app/adapters/embedded/EmbeddedController.h"
#include "app/adapters/embedded/EmbeddedPaneView.h"
#include "app/adapters/embedded/PTYProcess.h"
#include "app/adapters/embedded/TmuxPaneClient.h"
#include "app/core/TerminalSession.h"
#include "app/core/TerminalTheme.h"
#include "app/persistence/CellRecord.h"
#include "corvel/platform/Dispatch.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvel {
class Terminal;
}

namespace tilebay {

class EmbeddedAdapter final : public EmbeddedController {
public:
    using Axis = EmbeddedPaneKit::Axis;
    using PanePtr = std::unique_ptr<EmbeddedPaneView>;

    static constexpr int maxPanes = 4;
    // The store hears about a busy cell at most this often.
    static constexpr corvel::Nanos activityInterval = 120'000'000;
    // A start command is typed this long after the pane started.
    static constexpr corvel::Nanos startCommandDelay = 600'000'000;
    static constexpr int paneWidth = 720;
    static constexpr int paneHeight = 420;
    // `queue` runs the delayed work and gives the time; null means the main queue.
    explicit EmbeddedAdapter(std::unique_ptr<EmbeddedPaneKit> kit, TmuxLookup tmuxLookup = TmuxLookup::standard(),
                             corvel::DispatchQueue* queue = nullptr);
    ~EmbeddedAdapter() override;
    EmbeddedAdapter(const EmbeddedAdapter&) = delete;
    EmbeddedAdapter& operator=(const EmbeddedAdapter&) = delete;

    // ---- TerminalController ----

    QStringList sessionIds() const override;
    bool hasSession(const QString& id) const override;
    // Types `text` into the cell's primary pane (held, after what is held
    // already, while the pane holds its input).
    void sendText(const QString& id, const QString& text) override;
    // Gives the primary pane the keyboard focus when its window is shown;
    // AdapterError::notFound(id) when the cell has no panes.
    void focus(const QString& id) override;
    // Kills the cell's tmux session (when tmux is on, or the cell was started
    // inside tmux), ends every pane's child and forgets the cell.
    void closeSession(const QString& id) override;
    // The primary pane's live screen.
    QString visibleText(const QString& id) const override;
    // The cell's pane views laid out along its axis; null for an unknown cell.
    QWidget* cellContentView(const QString& id) override;

    // ---- cells ----

    // A new cell with its first pane. Without a label (or an empty one) the
    // cell is "Untitled-N", N counting this run's untitled cells; an empty
    // folder means the home folder, an empty command none.
    std::shared_ptr<TerminalSession> createSession(const std::optional<QString>& label,
                                                   const std::optional<QString>& cwd,
                                                   const std::optional<QString>& startCommand) override;
    // A saved cell with its first pane; re-attaches to its tmux session when
    // one of its name still exists, with tmux on or off (the start command
    // is then not typed).
    std::shared_ptr<TerminalSession> restoreSession(const CellRecord& record) override;
    // Frees an ended cell's panes and tables without touching tmux. The
    // panes' widgets go on the queue's next turn.
    void forgetSession(const QString& id) override;

    // ---- panes ----

    // A further pane running a plain login shell, up to four.
    void splitSession(const QString& id);
    // Ends and removes the last pane of a cell with more than one.
    void removeLastPane(const QString& id);
    void toggleAxis(const QString& id);
    Axis axis(const QString& id) const { return splitAxis.value(id, Axis::horizontal); }
    // The cell's first pane, or null.
    EmbeddedPaneView* primary(const QString& id) const;
    // The cell's panes in order (empty for an unknown cell).
    std::vector<EmbeddedPaneView*> paneViews(const QString& id) const;
    int paneCount(const QString& id) const override;
    // The primary pane, which searches its own view.
    SearchTarget* primarySearch(const QString& id) override { return primary(id); }

    // ---- themes ----

    // Remembers the theme and size for new panes and applies them to every pane.
    void applyThemeToAll(TerminalTheme theme, double fontSize) override;
    static void applyTheme(TerminalTheme theme, double fontSize, EmbeddedPaneView& pane);

    // ---- screen text ----

    // The live screen (the rows the program writes to, not the rows scrolled
    // into view), one line per row with trailing blanks trimmed.
    static QString screenText(corvel::Terminal& terminal);
    static QString screenText(EmbeddedPaneView& pane);

    // ---- state read by the store and the tests ----

    // When the store was last told about activity of a cell.
    QHash<QString, corvel::Nanos> lastBump;
    int untitledCounter() const { return untitledCounter_; }
    std::shared_ptr<TerminalSession> session(const QString& id) const { return sessions.value(id); }

private:
    // One pane of a cell: its view and its number, which tells it from any
    // pane made later (also one made at the same address).
    struct Pane {
        uint64_t number = 0;
        PanePtr view;
        // The pane's child is a client of the cell's tmux session.
        std::optional<TmuxPaneClient> tmux;
    };
    // How a new cell's first pane uses tmux.
    enum class TmuxUse : unsigned char {
        none,
        // Attach to the cell's session, or create it.
        attachOrCreate,
        // Attach to the cell's session when it still lives; else a plain shell.
        attachOnly,
    };

    std::map<QString, std::vector<Pane>> panes;
    QHash<QString, Axis> splitAxis;
    QHash<QString, std::shared_ptr<TerminalSession>> sessions;
    // Cells whose first pane was started inside tmux: closing them kills the
    // tmux session even after tmux was switched off.
    QSet<QString> tmuxCells;

    std::shared_ptr<TerminalSession> addCell(const QString& id, const QString& label, bool locked,
                                             const std::optional<QString>& cwd,
                                             const std::optional<QString>& startCommand, TmuxUse tmux);
    Pane makePane(const QString& id, const QString& currentDirectory, const std::optional<QString>& startCommand,
                  TmuxUse tmux);
    // The pane of this number while it is one of the cell's; else null.
    Pane* findPane(const QString& id, uint64_t number);
    // tmux for the sessions a restored cell may have left: looked up once.
    const std::optional<std::string>& leftoverTmux();
    void recordData(const QString& id);
    // The child of pane `number` of cell `id` ended by itself, or its start
    // made no child (reported on an earlier turn): a tmux client whose
    // session lives attaches again (or is left ended); otherwise a pane of a
    // split cell goes and the last pane's end is told to onTerminated. A
    // plain shell whose start failed leaves its pane as it is. A cell or
    // pane that went meanwhile is ignored.
    void handlePaneEnded(QString id, uint64_t number, bool startFailed);
    // Starts the client of pane `number` again, when it is still the cell's.
    void reattach(QString id, uint64_t number);
    // Pane `number` of cell `id` held `input`: its tmux client keeps it (a
    // pane without one has no child to take it); a later turn attaches a
    // client left ended that it asked for and hands on what a client that
    // has written can take.
    void noteHeld(const QString& id, uint64_t number, HeldInput input);
    void handleHeld(QString id, uint64_t number);
    // Pane `number` of cell `id` wrote output: its tmux client has taken the
    // terminal, and the input held for it goes on.
    void heardFrom(const QString& id, uint64_t number);
    // Takes one pane of a split cell out of it and retires it; when it held
    // the keyboard focus, the cell's first pane takes it.
    void dropPane(const QString& id, std::vector<Pane>& list, std::vector<Pane>::iterator pane);
    // Ends the pane's child, takes its widget out of any container and
    // destroys it on the queue's next turn.
    void retire(PanePtr pane);
    void bumpRevision(const QString& id);
    void forgetTables(QString id);
    corvel::DispatchQueue& queue() const;
    corvel::Nanos now() const { return queue().now(); }

    std::unique_ptr<EmbeddedPaneKit> kit_;
    TmuxLookup tmuxLookup_;
    corvel::DispatchQueue* queue_;
    int untitledCounter_ = 0;
    uint64_t lastPaneNumber_ = 0;
    std::optional<std::optional<std::string>> leftoverTmux_;
    // Callbacks and queued work hold this weakly; it goes first with the adapter.
    std::shared_ptr<EmbeddedAdapter*> self_;
};

}  // namespace tilebay
