#include "app/adapters/embedded/EmbeddedAdapter.h"

#include "app/adapters/embedded/TerminalThemeColors.h"
#include "app/core/AdapterError.h"
#include "app/core/AppLog.h"
#include "app/core/NanoID.h"
#include "corvel/qt/TerminalView.h"
#include "corvel/terminal/Terminal.h"

#include <QDir>
#include <QWidget>

#include <algorithm>

namespace tilebay {

namespace {

std::optional<QString> nonEmpty(const std::optional<QString>& text)
{
    if (!text || text->isEmpty()) return std::nullopt;
    return text;
}

std::optional<QString> nonEmpty(const std::optional<std::string>& text)
{
    if (!text || text->empty()) return std::nullopt;
    return QString::fromStdString(*text);
}

// Written into a pane's terminal when its client is left ended. Whatever the
// ended client left behind must not hide the notice: the alternate screen
// is left (the notice goes where the shell's own lines are), a soft reset
// gives plain attributes (nothing concealed), a visible cursor, the usual
// character set, no margins and no origin mode, and synchronized output
// ends. No program runs there to take the mouse or focus reports that the
// client may have switched on, so they go off: a hover over the pane or a
// change of focus attaches nothing. Then the notice on a line of its own. A
// client that attaches sets its own modes again.
std::string notConnectedText()
{
    return "\x1b[?1049l\x1b[!p\x1b[?2026l\x1b[?1000l\x1b[?1002l\x1b[?1003l\x1b[?1004l\r\n" +
           std::string(EmbeddedAdapter::notConnected) + "\r\n";
}

}  // namespace

EmbeddedAdapter::EmbeddedAdapter(std::unique_ptr<EmbeddedPaneKit> kit, TmuxLookup tmuxLookup,
                                 corvel::DispatchQueue* queue)
    : kit_(std::move(kit)),
      tmuxLookup_(std::move(tmuxLookup)),
      queue_(queue),
      self_(std::make_shared<EmbeddedAdapter*>(this))
{
}

EmbeddedAdapter::~EmbeddedAdapter()
{
    // From here on the panes' callbacks and the queued work find the adapter
    // gone. The children hang up with their views; tmux sessions live on.
    self_.reset();
}

corvel::DispatchQueue& EmbeddedAdapter::queue() const
{
    return queue_ ? *queue_ : corvel::DispatchQueue::main();
}

// ---- TerminalController ----

QStringList EmbeddedAdapter::sessionIds() const
{
    return sessions.keys();
}

bool EmbeddedAdapter::hasSession(const QString& id) const
{
    return sessions.contains(id);
}

void EmbeddedAdapter::sendText(const QString& id, const QString& text)
{
    const auto found = panes.find(id);
    if (found == panes.end() || found->second.empty()) return;
    Pane& first = found->second.front();
    // Behind text that still waits for its client, in the order it was sent.
    if (first.tmux && !first.tmux->unsent.empty()) {
        first.tmux->unsent.push_back(UnsentText{text.toStdString(), false});
        return;
    }
    first.view->send(text.toStdString());
}

void EmbeddedAdapter::focus(const QString& id)
{
    EmbeddedPaneView* pane = primary(id);
    if (!pane) throw AdapterError::notFound(id.toStdString());
    QWidget& view = pane->terminalView();
    if (view.window()->isVisible()) view.setFocus(Qt::OtherFocusReason);
}

void EmbeddedAdapter::closeSession(const QString& cellId)
{
    const QString id = cellId;
    if (useTmux || tmuxCells.contains(id)) {
        if (auto tmux = PTYProcess::tmuxPath(tmuxLookup_))
            PTYProcess::killTmuxSession(*tmux, PTYProcess::tmuxSessionName(id.toStdString()), tmuxLookup_.timeLimit);
    }
    forgetSession(id);
}

void EmbeddedAdapter::forgetSession(const QString& cellId)
{
    // A copy: the caller's id may live in a table entry dropped below.
    const QString id = cellId;
    if (auto found = panes.find(id); found != panes.end()) {
        std::vector<Pane> list = std::move(found->second);
        panes.erase(found);
        for (auto& pane : list) retire(std::move(pane.view));
    }
    forgetTables(id);
}

void EmbeddedAdapter::forgetTables(QString id)
{
    panes.erase(id);
    splitAxis.remove(id);
    sessions.remove(id);
    lastActivity.remove(id);
    lastBump.remove(id);
    tmuxCells.remove(id);
}

QString EmbeddedAdapter::visibleText(const QString& id) const
{
    EmbeddedPaneView* pane = primary(id);
    return pane ? screenText(*pane) : QString();
}

QWidget* EmbeddedAdapter::cellContentView(const QString& id)
{
    const auto views = paneViews(id);
    if (views.empty()) return nullptr;
    return kit_->makeLayout(views, axis(id));
}

// ---- cells ----

std::shared_ptr<TerminalSession> EmbeddedAdapter::createSession(const std::optional<QString>& label,
                                                                const std::optional<QString>& cwd,
                                                                const std::optional<QString>& startCommand)
{
    const QString id = QString::fromStdString(NanoID::make(14));
    QString name;
    bool locked = false;
    if (label && !label->isEmpty()) {
        name = *label;
        locked = true;
    } else {
        name = QStringLiteral("Untitled-%1").arg(++untitledCounter_);
    }
    return addCell(id, name, locked, cwd, startCommand, useTmux ? TmuxUse::attachOrCreate : TmuxUse::none);
}

std::shared_ptr<TerminalSession> EmbeddedAdapter::restoreSession(const CellRecord& record)
{
    return addCell(QString::fromStdString(record.internalId), QString::fromStdString(record.projectLabel),
                   record.labelLockedByUser, nonEmpty(record.cwd), nonEmpty(record.startCommand),
                   useTmux ? TmuxUse::attachOrCreate : TmuxUse::attachOnly);
}

std::shared_ptr<TerminalSession> EmbeddedAdapter::addCell(const QString& id, const QString& label, bool locked,
                                                          const std::optional<QString>& cwd,
                                                          const std::optional<QString>& startCommand,
                                                          TmuxUse tmux)
{
    // A cell of the same id is replaced whole, never left half-known.
    if (sessions.contains(id) || panes.contains(id)) forgetSession(id);

    const QString folder = nonEmpty(cwd).value_or(QDir::homePath());
    const std::optional<QString> command = nonEmpty(startCommand);
    auto record = std::make_shared<TerminalSession>(id, AdapterKind::embedded, std::nullopt, label, locked, folder,
                                                    command);
    sessions.insert(id, record);
    std::vector<Pane> list;
    list.push_back(makePane(id, folder, command, tmux));
    panes[id] = std::move(list);
    return record;
}

EmbeddedAdapter::Pane EmbeddedAdapter::makePane(const QString& id, const QString& currentDirectory,
                                                const std::optional<QString>& startCommand, TmuxUse tmux)
{
    PanePtr pane = kit_->makePane(paneWidth, paneHeight);
    const uint64_t number = ++lastPaneNumber_;
    std::weak_ptr<EmbeddedAdapter*> weak = self_;
    pane->onTerminated = [weak, id, number](std::optional<int32_t>) {
        // Handling the end retires this pane and with it this closure: only
        // noted here, handled on a later turn.
        if (auto self = weak.lock()) {
            (*self)->queue().async([weak, id, number] {
                if (auto alive = weak.lock()) (*alive)->handlePaneEnded(id, number);
            });
        }
    };
    pane->onInputWithoutChild = [weak, id, number](std::optional<UnsentText> text) {
        // Handling it starts a child in this pane: only noted here.
        if (auto self = weak.lock()) {
            (*self)->queue().async([weak, id, number, text = std::move(text)]() mutable {
                if (auto alive = weak.lock()) (*alive)->inputWithoutChild(id, number, std::move(text));
            });
        }
    };
    lastActivity[id] = now();
    applyTheme(theme, fontSize, *pane);

    const std::string folder = currentDirectory.toStdString();
    const std::string tmuxName = PTYProcess::tmuxSessionName(id.toStdString());
    bool reattached = false;
    std::optional<TmuxClient> client;
    if (tmux != TmuxUse::none) {
        const std::optional<std::string> tmuxPath =
            tmux == TmuxUse::attachOnly ? leftoverTmux() : PTYProcess::tmuxPath(tmuxLookup_);
        if (tmuxPath) {
            reattached = PTYProcess::tmuxSessionExists(*tmuxPath, tmuxName, tmuxLookup_.timeLimit);
            if (reattached || tmux == TmuxUse::attachOrCreate) {
                // No process can enter a folder longer than any path, and
                // tmux would refuse the whole command line that carried it
                // (the client ending at once, and the cell with it): tmux is
                // given the home folder instead, where a new session starts.
                std::string tmuxFolder = folder;
                if (!PTYProcess::canBeFolder(folder)) {
                    tmuxFolder = QDir::homePath().toStdString();
                    logFailure("tmux 작업 폴더를 쓸 수 없음",
                               tmuxName + ": its folder of " + std::to_string(folder.size()) +
                                   " bytes is longer than any path; tmux is given " + tmuxFolder + " instead");
                }
                pane->startProcess(PTYProcess::tmuxCommand(*tmuxPath, tmuxName, tmuxFolder));
                tmuxCells.insert(id);
                client.emplace();
                client->tmuxPath = *tmuxPath;
                client->folder = tmuxFolder;
                client->attachedAt = now();
            }
        }
    }
    if (!client) pane->startProcess(PTYProcess::shellCommand(folder));
    // Output comes on a later turn of the main queue. It stamps the cell's
    // activity; a tmux client's output also tells that the client has taken
    // the terminal, which only tmux panes look up.
    pane->onData = [weak, id, number, tmuxClient = client.has_value()] {
        if (auto self = weak.lock()) {
            (*self)->recordData(id);
            if (tmuxClient) (*self)->heardFrom(id, number);
        }
    };

    if (startCommand && !startCommand->isEmpty() && !reattached) {
        const std::string text = startCommand->toStdString() + "\r";
        queue().asyncAfter(startCommandDelay, [weak, id, number, text] {
            auto self = weak.lock();
            if (!self) return;
            if (Pane* pane = (*self)->findPane(id, number)) pane->view->send(text);
        });
    }
    return {number, std::move(pane), std::move(client)};
}

EmbeddedAdapter::Pane* EmbeddedAdapter::findPane(const QString& id, uint64_t number)
{
    const auto found = panes.find(id);
    if (found == panes.end()) return nullptr;
    for (Pane& pane : found->second)
        if (pane.number == number) return &pane;
    return nullptr;
}

const std::optional<std::string>& EmbeddedAdapter::leftoverTmux()
{
    // Restores come in a burst at start-up: one lookup (which may run the
    // login shell) serves them all.
    if (!leftoverTmux_) leftoverTmux_ = PTYProcess::tmuxPath(tmuxLookup_);
    return *leftoverTmux_;
}

// ---- activity and ends ----

void EmbeddedAdapter::recordData(const QString& id)
{
    if (!sessions.contains(id)) return;
    const corvel::Nanos stamp = now();
    lastActivity[id] = stamp;
    const auto bump = lastBump.constFind(id);
    if (bump == lastBump.constEnd() || stamp - *bump > activityInterval) {
        lastBump[id] = stamp;
        if (onActivity) onActivity(id);
    }
}

void EmbeddedAdapter::handlePaneEnded(QString id, uint64_t number)
{
    auto found = panes.find(id);
    if (found == panes.end()) return;
    std::vector<Pane>& list = found->second;
    auto pane = std::find_if(list.begin(), list.end(), [number](const Pane& p) { return p.number == number; });
    // Closed or removed since the end was reported.
    if (pane == list.end()) return;
    if (pane->tmux) {
        pane->tmux->runs = false;
        if (keepTmuxClient(id, *pane)) return;
    }
    if (list.size() >= 2) {
        dropPane(id, list, pane);
        return;
    }
    if (onTerminated) onTerminated(id);
}

bool EmbeddedAdapter::keepTmuxClient(const QString& id, Pane& pane)
{
    TmuxClient& client = *pane.tmux;
    const std::string name = PTYProcess::tmuxSessionName(id.toStdString());
    if (PTYProcess::tmuxSessionState(client.tmuxPath, name, tmuxLookup_.timeLimit) ==
        PTYProcess::TmuxSessionState::gone)
        return false;

    const corvel::Nanos stamp = now();
    client.quickEnds = stamp - client.attachedAt < steadyAttach ? client.quickEnds + 1 : 0;
    if (client.quickEnds > maxQuickReattaches) {
        logFailure("tmux 세션 재연결 중단",
                   name + ": its client kept ending at once; left ended until input reaches its pane. The "
                          "session lives on, and the cell keeps it until the cell is closed");
        // Typing would otherwise go nowhere unseen: the pane says that it
        // is not connected and how to connect again. What the ended client
        // still writes (tmux tears its terminal down after the client has
        // gone) would wipe that away, so it is dropped; colours the client
        // set go back to the theme's.
        client.leftEnded = true;
        pane.view->dropOutputUntilStart();
        pane.view->terminalView().feed(std::string_view(notConnectedText()));
        applyTheme(theme, fontSize, *pane.view);
        return true;
    }
    // A detach attaches again at once; a client that keeps ending at once
    // waits longer each time, so it never spins.
    corvel::Nanos delay = 0;
    if (client.quickEnds > 0) {
        delay = std::min(firstReattachDelay << (client.quickEnds - 1), longestReattachDelay);
        logFailure("tmux 세션 재연결 지연", name + ": its client ended at once; attaching again in " +
                                                std::to_string(delay / 1'000'000) + " ms (" +
                                                std::to_string(client.quickEnds) + " of " +
                                                std::to_string(maxQuickReattaches) + ")");
    }
    std::weak_ptr<EmbeddedAdapter*> weak = self_;
    queue().asyncAfter(delay, [weak, id, number = pane.number] {
        if (auto self = weak.lock()) (*self)->reattach(id, number);
    });
    return true;
}

void EmbeddedAdapter::reattach(QString id, uint64_t number)
{
    // Closed, or taken out of its cell, meanwhile.
    Pane* pane = findPane(id, number);
    if (!pane || !pane->tmux) return;
    TmuxClient& client = *pane->tmux;
    client.attachedAt = now();
    client.runs = true;
    client.heard = false;
    // An attach that fails ends the client at once and comes back here
    // through its end, as any other end does.
    pane->view->startProcess(PTYProcess::tmuxAttachCommand(
        client.tmuxPath, PTYProcess::tmuxSessionName(id.toStdString()), client.folder));
}

void EmbeddedAdapter::inputWithoutChild(QString id, uint64_t number, std::optional<UnsentText> text)
{
    // Input into a pane without tmux starts nothing, and its text is lost
    // with the pane, which goes with its child.
    Pane* pane = findPane(id, number);
    if (!pane || !pane->tmux) return;
    TmuxClient& client = *pane->tmux;
    // Sent or pasted text waits for the next client (the one waiting to
    // attach again, or the one this input starts).
    if (text && !text->text.empty()) {
        client.unsent.push_back(std::move(*text));
        // A client started since the input was reported may already have
        // taken the terminal.
        handOnUnsent(*pane);
    }
    // Input while a client waits to attach again starts nothing: the
    // waiting client attaches by itself.
    if (!client.leftEnded) return;
    client.leftEnded = false;
    client.quickEnds = 0;
    // A key typed at the notice is not passed on: it asks for the
    // connection, not for the session's program, and a client just started
    // has not taken the terminal yet.
    reattach(id, number);
}

void EmbeddedAdapter::heardFrom(const QString& id, uint64_t number)
{
    Pane* pane = findPane(id, number);
    if (!pane || !pane->tmux || !pane->tmux->runs) return;
    pane->tmux->heard = true;
    handOnUnsent(*pane);
}

void EmbeddedAdapter::handOnUnsent(Pane& pane)
{
    TmuxClient& client = *pane.tmux;
    if (!client.runs || !client.heard || client.unsent.empty()) return;
    // Taken first: text that finds no child after all comes back through
    // onInputWithoutChild (on a later turn) and waits again.
    std::vector<UnsentText> waiting = std::move(client.unsent);
    client.unsent.clear();
    for (const UnsentText& each : waiting) {
        if (each.paste) {
            pane.view->pasteText(each.text);
        } else {
            pane.view->send(each.text);
        }
    }
}

void EmbeddedAdapter::dropPane(const QString& id, std::vector<Pane>& list, std::vector<Pane>::iterator pane)
{
    PanePtr dropped = std::move(pane->view);
    list.erase(pane);
    const bool hadFocus = dropped->terminalView().hasFocus();
    retire(std::move(dropped));
    bumpRevision(id);
    // Typing goes on in the cell: its first pane, now in the cell's new
    // layout, takes the keyboard focus that the dropped pane held.
    if (EmbeddedPaneView* first = primary(id); first && hadFocus) {
        QWidget& view = first->terminalView();
        if (view.isVisible()) view.setFocus(Qt::OtherFocusReason);
    }
}

void EmbeddedAdapter::retire(PanePtr pane)
{
    pane->onData = nullptr;
    pane->onTerminated = nullptr;
    pane->onInputWithoutChild = nullptr;
    pane->terminate();
    QWidget& widget = pane->terminalView();
    widget.hide();
    widget.setParent(nullptr);
    // Destroyed on a later turn: a widget is never destroyed under a call
    // that may have come from it.
    std::shared_ptr<EmbeddedPaneView> last(std::move(pane));
    queue().async([last] {});
}

void EmbeddedAdapter::bumpRevision(const QString& id)
{
    if (auto record = sessions.value(id)) record->setPaneRevision(record->paneRevision() + 1);
}

// ---- panes ----

void EmbeddedAdapter::splitSession(const QString& id)
{
    const auto record = sessions.value(id);
    if (!record) return;
    std::vector<Pane>& list = panes[id];
    if (static_cast<int>(list.size()) >= maxPanes) return;
    list.push_back(makePane(id, record->cwd().value_or(QDir::homePath()), std::nullopt, TmuxUse::none));
    bumpRevision(id);
}

void EmbeddedAdapter::removeLastPane(const QString& id)
{
    auto found = panes.find(id);
    if (found == panes.end() || found->second.size() <= 1) return;
    dropPane(id, found->second, std::prev(found->second.end()));
}

void EmbeddedAdapter::toggleAxis(const QString& id)
{
    splitAxis[id] = axis(id) == Axis::horizontal ? Axis::vertical : Axis::horizontal;
    bumpRevision(id);
}

EmbeddedPaneView* EmbeddedAdapter::primary(const QString& id) const
{
    const auto found = panes.find(id);
    if (found == panes.end() || found->second.empty()) return nullptr;
    return found->second.front().view.get();
}

std::vector<EmbeddedPaneView*> EmbeddedAdapter::paneViews(const QString& id) const
{
    std::vector<EmbeddedPaneView*> views;
    const auto found = panes.find(id);
    if (found == panes.end()) return views;
    for (const auto& pane : found->second) views.push_back(pane.view.get());
    return views;
}

int EmbeddedAdapter::paneCount(const QString& id) const
{
    const auto found = panes.find(id);
    return found == panes.end() ? 0 : static_cast<int>(found->second.size());
}

// ---- themes ----

void EmbeddedAdapter::applyThemeToAll(TerminalTheme newTheme, double newFontSize)
{
    theme = newTheme;
    fontSize = newFontSize;
    for (auto& [id, list] : panes)
        for (auto& pane : list) applyTheme(theme, fontSize, *pane.view);
}

void EmbeddedAdapter::applyTheme(TerminalTheme theme, double fontSize, EmbeddedPaneView& pane)
{
    TerminalThemeColors::apply(theme, fontSize, pane.terminalView());
}

// ---- screen text ----

QString EmbeddedAdapter::screenText(corvel::Terminal& terminal)
{
    corvel::Buffer& buffer = terminal.buffer();
    auto& lines = buffer.lines();
    std::string text;
    bool first = true;
    for (int row = 0; row < buffer.rows(); ++row) {
        const int64_t index = static_cast<int64_t>(buffer.yBase()) + row;
        if (index < 0 || index >= lines.count()) continue;
        if (!first) text += '\n';
        first = false;
        text += lines[index].translateToString(true, 0, -1, false, {});
    }
    // An empty cell reads as a space, but a stray NUL must never reach the
    // classifier's patterns.
    std::replace(text.begin(), text.end(), '\0', ' ');
    return QString::fromStdString(text);
}

QString EmbeddedAdapter::screenText(EmbeddedPaneView& pane)
{
    return screenText(pane.terminalView().getTerminal());
}

}  // namespace tilebay
