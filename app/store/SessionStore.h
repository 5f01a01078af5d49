// The application's one observable store: the grid's cells, every setting,
// the flags that raise sheets and panels, the broadcast selection and the
// zoom factor. It restores the saved layout when it is made, keeps every
// cell's status current on a polling timer (with a two-tick debounce),
// mirrors and absorbs iTerm2 sessions, carries out every user action on the
// grid and writes the layout document after each change that is saved.
//
// Each published property has a change signal of its own, emitted after a
// write that changed the value; a write's side effects (saving, re-theming,
// starting a poll) happen on every write, as listed at each setter.
//
// Threads: the main thread only. The timer is a QTimer; the iTerm2 poll and
// the import-list refresh are queued calls on the main loop whose second half
// runs when the iTerm2 adapter answers (on the main queue), and which re-read
// the store's state then: a cell closed meanwhile is simply not found.
//
// Ownership: the store owns both adapters, the classifier, the layout store
// and the timer; the cells' records are shared with the views and with the
// embedded adapter, which makes the embedded ones.
//
// Lifetime: the store keeps the lifetime rule of the embedded adapter. The
// callbacks it gives the adapters hold it through QPointer and do nothing
// once it is gone; the adapter reports a cell's end on a later turn than the
// child's end, never from inside a pane's own callback, so handling it may
// drop everything of the cell at once; every action that removes a cell
// works on its own copy of the id, never on one that lives in what it
// removes; queued work looks the cells up again when it runs.
//
// Invariants: nothing is written before the start-up restore has finished
// (didRestore); a cell's status changes only through the debounce or, for an
// embedded cell that produces output, at once to running unless it waits.
#pragma once

#include "app/adapters/embedded/EmbeddedController.h"
#include "app/adapters/iterm2/ITerm2Adapter.h"
#include "app/adapters/iterm2/ITerm2SessionSnapshot.h"
#include "app/core/AppAppearance.h"
#include "app/core/TerminalProfile.h"
#include "app/core/TerminalSession.h"
#include "app/core/TerminalStatus.h"
#include "app/core/TerminalTheme.h"
#include "app/persistence/LayoutDoc.h"
#include "app/persistence/LayoutStore.h"
#include "app/status/StatusClassifier.h"

#include "corvel/platform/Dispatch.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTimer;

namespace tilebay {

class SessionStore : public QObject {
    Q_OBJECT

public:
    using SessionPtr = std::shared_ptr<TerminalSession>;

    // The timer never runs more often than this.
    static constexpr qint64 minPollIntervalMs = 250;
    // iTerm2 polls start at least this far apart.
    static constexpr corvel::Nanos iTerm2PollSpacing = 1'800'000'000;

    // What the store is made with. Only the embedded adapter must be given.
    struct Dependencies {
        std::unique_ptr<EmbeddedController> embedded;
        // None: a new adapter with its own helper bridge.
        std::unique_ptr<ITerm2Adapter> iterm2;
        // None: patterns from the resource, or the built-in ones.
        std::unique_ptr<StatusClassifier> classifier;
        // The clock of activity times and poll spacing; none: corvel::monotonicNanos.
        std::function<corvel::Nanos()> clock;
        // Whether a tmux executable exists (asked once, on the first read of
        // tmuxAvailable); none: no tmux.
        std::function<bool()> findTmux;
        // False: the timer gets its period but is never started, so that
        // tests drive tick() by hand.
        bool runTimer = true;
    };

    // Sets the defaults, hooks the embedded adapter's callbacks, restores the
    // saved layout, starts the timer and raises the first-run sheet when no
    // readable layout document exists.
    explicit SessionStore(Dependencies dependencies, QObject* parent = nullptr);
    ~SessionStore() override;
    SessionStore(const SessionStore&) = delete;
    SessionStore& operator=(const SessionStore&) = delete;

    // ---- published state ----

    // The grid's cells in grid order (index 0 top-left, then along the rows).
    const std::vector<SessionPtr>& cells() const { return cells_; }
    const std::optional<QString>& expandedID() const { return expandedID_; }
    void setExpandedID(const std::optional<QString>& id);
    // True while the window is being resized live: tiles show placeholders
    // and no iTerm2 poll starts.
    bool isLiveResizing() const { return isLiveResizing_; }
    void setIsLiveResizing(bool value);

    // Settings. Writes only store and publish unless noted; the settings sheet
    // calls persist() after its changes (and startTimer() after the period's).
    qint64 pollIntervalMs() const { return pollIntervalMs_; }
    void setPollIntervalMs(qint64 ms);
    qint64 idleThresholdSec() const { return idleThresholdSec_; }
    void setIdleThresholdSec(qint64 seconds);
    // Every write of true queues an iTerm2 poll.
    bool absorbITerm2() const { return absorbITerm2_; }
    void setAbsorbITerm2(bool value);
    bool stripTitleTails() const { return stripTitleTails_; }
    void setStripTitleTails(bool value);
    // Every write is copied into the iTerm2 adapter.
    bool useITerm2PythonAPI() const { return useITerm2PythonAPI_; }
    void setUseITerm2PythonAPI(bool value);
    bool showSettings() const { return showSettings_; }
    void setShowSettings(bool value);
    bool showOnboarding() const { return showOnboarding_; }
    void setShowOnboarding(bool value);
    // Every write saves.
    AppAppearance appearance() const { return appearance_; }
    void setAppearance(AppAppearance value);
    // Every write re-themes every live pane, then saves once restored.
    TerminalTheme terminalTheme() const { return terminalTheme_; }
    void setTerminalTheme(TerminalTheme value);
    double terminalFontSize() const { return terminalFontSize_; }
    void setTerminalFontSize(double points);
    // Every write is copied into the embedded adapter (new cells only), then saved once restored.
    bool tmuxPersistence() const { return tmuxPersistence_; }
    void setTmuxPersistence(bool value);
    // Whether a tmux executable was found; looked for on the first read only.
    bool tmuxAvailable();

    bool broadcastMode() const { return broadcastMode_; }
    const QSet<QString>& broadcastTargets() const { return broadcastTargets_; }
    // Saved launch profiles in list order; a write only publishes.
    const std::vector<TerminalProfile>& profiles() const { return profiles_; }
    void setProfiles(std::vector<TerminalProfile> profiles);
    bool showProfileLauncher() const { return showProfileLauncher_; }
    void setShowProfileLauncher(bool value);
    bool showNewTerminalPrompt() const { return showNewTerminalPrompt_; }
    void setShowNewTerminalPrompt(bool value);
    const QString& newTerminalName() const { return newTerminalName_; }
    void setNewTerminalName(const QString& text);
    const QString& newTerminalCwd() const { return newTerminalCwd_; }
    void setNewTerminalCwd(const QString& text);
    const QString& newTerminalCommand() const { return newTerminalCommand_; }
    void setNewTerminalCommand(const QString& text);
    bool showImport() const { return showImport_; }
    void setShowImport(bool value);
    const QList<ITerm2SessionSnapshot>& importList() const { return importList_; }
    bool importLoading() const { return importLoading_; }
    // The grid's tile size factor; the views keep it within 0.5 to 3.0.
    double zoom() const { return zoom_; }
    void setZoom(double value);

    // ---- plain state ----

    EmbeddedController& embedded() { return *embedded_; }
    ITerm2Adapter& iterm2() { return *iterm2_; }
    const StatusClassifier& classifier() const { return *classifier_; }
    // True once the start-up restore has finished, successfully or not.
    bool didRestore() const { return didRestore_; }
    bool isPollingITerm2() const { return isPollingITerm2_; }
    // Start of the last iTerm2 poll that passed its guards, on the store's clock.
    std::optional<corvel::Nanos> lastITerm2Poll() const { return lastITerm2Poll_; }
    // Contents hash and change time last seen per iTerm2 session; never pruned.
    const QHash<QString, size_t>& lastHash() const { return lastHash_; }
    const QHash<QString, corvel::Nanos>& lastChange() const { return lastChange_; }
    // The polling timer's period in milliseconds.
    int timerIntervalMs() const;
    bool timerActive() const;
    // Ids of the cells whose tiles are on screen; each tile inserts its id
    // when it appears and removes it when it disappears.
    QSet<QString> visibleCells;

    // ---- saving and polling ----

    // Writes the layout document once the restore has finished; before, does
    // nothing. Write failures are logged by the layout store.
    void persist();
    // The layout document as persist() writes it.
    LayoutDoc layoutDoc() const;
    // Replaces the polling timer with one of max(pollIntervalMs, 250) ms.
    void startTimer();
    // One polling round: classifies every embedded cell's first pane and
    // queues an iTerm2 poll when absorption is on or an iTerm2 cell exists.
    // The timer runs it; tests call it by hand.
    void tick();
    // An iTerm2 poll, unless one is running, the window is being resized
    // live, or the last one started less than 1.8 s ago.
    void pollITerm2();
    // Lists iTerm2 sessions not yet in the grid into importList.
    void refreshImportList();

    // ---- lookups ----

    // The first cell with this id, or null.
    SessionPtr cell(const QString& id) const;
    std::optional<qsizetype> index(const QString& id) const;
    // The number of panes of an embedded cell; 0 otherwise.
    int paneCount(const QString& id) const;

    // ---- user actions ----

    void promptNewTerminal();
    void confirmNewTerminal();
    // Null (and one logged line) when the adapter cannot make the cell. The
    // new cell's first pane takes the keyboard focus (once its tile holds it,
    // which the grid does as the list changes), unless another cell is
    // expanded over the grid.
    SessionPtr newEmbeddedSession(const std::optional<QString>& label, const std::optional<QString>& cwd,
                                  const std::optional<QString>& startCommand);
    void closeCell(QString id);
    void setLabel(const QString& id, const QString& text);
    void focus(const QString& id);
    void toggleExpand(const QString& id);
    void toggleBroadcastMode();
    void toggleBroadcastTarget(const QString& id);
    void sendBroadcast(const QString& text);
    // The cells a broadcast reaches: selected embedded cells of the grid that
    // have a first pane. Selected ids of closed, ended or iTerm2 cells do not
    // count.
    int broadcastReach() const;
    bool search(const QString& id, const QString& term, bool forward);
    void sendToITerm2(const QString& id, const QString& text);
    // A cell id moves that cell to the slot; an iTerm2 drag payload ("EXT",
    // U+0001, session id, U+0001, name) absorbs the session there.
    bool handleDrop(const QString& payload, qsizetype targetIndex);
    void absorbExternal(const QString& guid, const QString& name, qsizetype at);
    void addProfile(const QString& name, const std::optional<QString>& cwd,
                    const std::optional<QString>& startCommand);

signals:
    void cellsChanged();
    void expandedIDChanged(const std::optional<QString>& id);
    void isLiveResizingChanged(bool value);
    void pollIntervalMsChanged(qint64 ms);
    void idleThresholdSecChanged(qint64 seconds);
    void absorbITerm2Changed(bool value);
    void stripTitleTailsChanged(bool value);
    void useITerm2PythonAPIChanged(bool value);
    void showSettingsChanged(bool value);
    void showOnboardingChanged(bool value);
    void appearanceChanged(tilebay::AppAppearance value);
    void terminalThemeChanged(tilebay::TerminalTheme value);
    void terminalFontSizeChanged(double points);
    void tmuxPersistenceChanged(bool value);
    void broadcastModeChanged(bool value);
    void broadcastTargetsChanged();
    void profilesChanged();
    void showProfileLauncherChanged(bool value);
    void showNewTerminalPromptChanged(bool value);
    void newTerminalNameChanged(const QString& text);
    void newTerminalCwdChanged(const QString& text);
    void newTerminalCommandChanged(const QString& text);
    void showImportChanged(bool value);
    void importListChanged();
    void importLoadingChanged(bool value);
    void zoomChanged(double value);

private:
    void restore();
    void restoreCells(const LayoutDoc& doc);
    void applyDebounced(TerminalSession& session, TerminalStatus status);
    void bumpRunning(const QString& id);
    // The last pane of a cell ended: out of the expanded card, the grid and
    // the saved layout, and the adapter frees its panes.
    void handleTerminated(QString id);
    void finishITerm2Poll(std::vector<ITerm2SessionSnapshot> snapshots);
    void finishImportList(const std::vector<ITerm2SessionSnapshot>& snapshots);
    // Queues pollITerm2() on the main loop.
    void queueITerm2Poll();
    QString cleanLabel(const QString& raw) const;
    void removeCells(const QString& id);
    void setBroadcastMode(bool value);
    void setBroadcastTargets(QSet<QString> targets);
    bool reachedByBroadcast(const TerminalSession& cell) const;
    void setImportList(QList<ITerm2SessionSnapshot> list);
    void setImportLoading(bool value);
    corvel::Nanos now() const { return clock_(); }

    std::vector<SessionPtr> cells_;
    std::optional<QString> expandedID_;
    bool isLiveResizing_ = false;
    qint64 pollIntervalMs_ = 1000;
    qint64 idleThresholdSec_ = 8;
    bool absorbITerm2_ = false;
    bool stripTitleTails_ = false;
    bool useITerm2PythonAPI_ = false;
    bool showSettings_ = false;
    bool showOnboarding_ = false;
    AppAppearance appearance_ = AppAppearance::system;
    TerminalTheme terminalTheme_ = TerminalTheme::dark;
    double terminalFontSize_ = 13.0;
    bool tmuxPersistence_ = false;
    std::optional<bool> tmuxAvailable_;
    bool broadcastMode_ = false;
    QSet<QString> broadcastTargets_;
    std::vector<TerminalProfile> profiles_;
    bool showProfileLauncher_ = false;
    bool showNewTerminalPrompt_ = false;
    QString newTerminalName_;
    QString newTerminalCwd_;
    QString newTerminalCommand_;
    bool showImport_ = false;
    QList<ITerm2SessionSnapshot> importList_;
    bool importLoading_ = false;
    double zoom_ = 1.0;

    std::unique_ptr<EmbeddedController> embedded_;
    std::unique_ptr<ITerm2Adapter> iterm2_;
    std::unique_ptr<StatusClassifier> classifier_;
    LayoutStore layoutStore_;
    QTimer* timer_ = nullptr;  // child object
    bool runTimer_ = true;
    std::function<corvel::Nanos()> clock_;
    std::function<bool()> findTmux_;
    bool didRestore_ = false;
    QHash<QString, size_t> lastHash_;
    QHash<QString, corvel::Nanos> lastChange_;
    bool isPollingITerm2_ = false;
    std::optional<corvel::Nanos> lastITerm2Poll_;  // none: the distant past
};

}  // namespace tilebay
