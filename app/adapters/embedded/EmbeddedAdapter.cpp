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
    // A pane that holds its input holds this too, behind what it holds.
    found->second.front().view->send(text.toStdString());
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
                if (auto alive = weak.lock()) (*alive)->handlePaneEnded(id, number, false);
            });
        }
    };
    pane->onStartFailed = [weak, id, number] {
        if (auto self = weak.lock()) {
            (*self)->queue().async([weak, id, number] {
                if (auto alive = weak.lock()) (*alive)->handlePaneEnded(id, number, true);
            });
        }
    };
    pane->onHeldInput = [weak, id, number](HeldInput input) {
        if (auto self = weak.lock()) (*self)->noteHeld(id, number, std::move(input));
    };
    lastActivity[id] = now();
    applyTheme(theme, fontSize, *pane);

    const std::string folder = currentDirectory.toStdString();
    const std::string tmuxName = PTYProcess::tmuxSessionName(id.toStdString());
    bool reattached = false;
    std::optional<TmuxPaneClient> client;
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
                tmuxCells.insert(id);
                client.emplace(*tmuxPath, tmuxName, tmuxFolder, tmuxLookup_.timeLimit, reattached);
                // The client's first window size is the pane's in the grid:
                // tmux would otherwise fit the session's screen to the size
                // the pane is made with, pushing its top lines into history.
                client->startFirst(*pane, PTYProcess::tmuxCommand(*tmuxPath, tmuxName, tmuxFolder), now());
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
            Pane* pane = (*self)->findPane(id, number);
            if (!pane) return;
            if (pane->tmux) {
                pane->tmux->sendToSession(*pane->view, text);
            } else {
                pane->view->send(text);
            }
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

void EmbeddedAdapter::handlePaneEnded(QString id, uint64_t number, bool startFailed)
{
    auto found = panes.find(id);
    if (found == panes.end()) return;
    std::vector<Pane>& list = found->second;
    auto pane = std::find_if(list.begin(), list.end(), [number](const Pane& p) { return p.number == number; });
    // Closed or removed since the end was reported.
    if (pane == list.end()) return;
    if (pane->tmux) {
        // Each client ends once; a report for one whose end was handled
        // already changes nothing.
        if (!pane->tmux->runs()) return;
        if (startFailed)
            logFailure("tmux 클라이언트 시작 실패", pane->tmux->sessionName() +
                                                  ": no pseudo-terminal or process could be made for its "
                                                  "client; counted as an end of the client");
        const TmuxPaneClient::AfterEnd after = pane->tmux->ended(*pane->view, now(), startFailed);
        if (after.next == TmuxPaneClient::AfterEnd::Next::leftEnded) {
            // Colours the client set go back to the theme's.
            applyTheme(theme, fontSize, *pane->view);
            return;
        }
        if (after.next == TmuxPaneClient::AfterEnd::Next::attachAgain) {
            std::weak_ptr<EmbeddedAdapter*> weak = self_;
            queue().asyncAfter(after.delay, [weak, id, number] {
                if (auto self = weak.lock()) (*self)->reattach(id, number);
            });
            return;
        }
    } else if (startFailed) {
        // The pane stays, without a child: the cell is not lost for a start
        // that may succeed next time.
        logFailure("셸 시작 실패", "no pseudo-terminal or process could be made for a pane's shell");
        return;
    }
    if (list.size() >= 2) {
        dropPane(id, list, pane);
        return;
    }
    if (onTerminated) onTerminated(id);
}

void EmbeddedAdapter::reattach(QString id, uint64_t number)
{
    // Closed, or taken out of its cell, meanwhile.
    Pane* pane = findPane(id, number);
    if (!pane || !pane->tmux) return;
    pane->tmux->attachAgain(*pane->view, now());
}

void EmbeddedAdapter::noteHeld(const QString& id, uint64_t number, HeldInput input)
{
    Pane* pane = findPane(id, number);
    // Input into a pane without tmux has no child to wait for; it goes with
    // the pane, which goes with its child.
    if (!pane || !pane->tmux) return;
    if (!pane->tmux->hold(std::move(input))) return;
    // Attaching starts a child in this pane: not from inside its report.
    std::weak_ptr<EmbeddedAdapter*> weak = self_;
    queue().async([weak, id, number] {
        if (auto self = weak.lock()) (*self)->handleHeld(id, number);
    });
}

void EmbeddedAdapter::handleHeld(QString id, uint64_t number)
{
    Pane* pane = findPane(id, number);
    if (!pane || !pane->tmux) return;
    if (pane->tmux->attachRequested()) pane->tmux->attachAgain(*pane->view, now());
    pane->tmux->handOnHeld(*pane->view);
}

void EmbeddedAdapter::heardFrom(const QString& id, uint64_t number)
{
    Pane* pane = findPane(id, number);
    if (pane && pane->tmux) pane->tmux->heardFrom(*pane->view);
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
    pane->onStartFailed = nullptr;
    pane->onHeldInput = nullptr;
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
