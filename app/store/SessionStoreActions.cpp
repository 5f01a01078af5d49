// The store's user actions: every change a user makes to the grid (new,
// close, rename, focus, expand, reorder, drops, broadcast, search, text for
// iTerm2, profiles). Unknown ids are ignored; nothing here raises.
#include "app/store/SessionStore.h"

#include "app/adapters/iterm2/ITerm2AppleScript.h"
#include "app/core/AppLog.h"
#include "app/core/GridLayout.h"
#include "app/core/NanoID.h"

#include <QStringList>

#include <algorithm>
#include <exception>

namespace tilebay {

namespace {

// Trimmed of white space and line breaks; none when nothing is left.
std::optional<QString> field(const QString& text)
{
    QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) return std::nullopt;
    return trimmed;
}

// The first characters of an iTerm2 drag payload.
const QString kExternalPrefix = QStringLiteral("EXT\u0001");

}  // namespace

void SessionStore::promptNewTerminal()
{
    setNewTerminalName({});
    setNewTerminalCwd({});
    setNewTerminalCommand({});
    setShowNewTerminalPrompt(true);
}

void SessionStore::confirmNewTerminal()
{
    newEmbeddedSession(field(newTerminalName_), field(newTerminalCwd_), field(newTerminalCommand_));
    setShowNewTerminalPrompt(false);
    setNewTerminalName({});
    setNewTerminalCwd({});
    setNewTerminalCommand({});
}

SessionStore::SessionPtr SessionStore::newEmbeddedSession(const std::optional<QString>& label,
                                                          const std::optional<QString>& cwd,
                                                          const std::optional<QString>& startCommand)
{
    SessionPtr session;
    try {
        session = embedded_->createSession(label, cwd, startCommand);
    } catch (const std::exception& error) {
        logFailure("내장 세션 생성 실패", error.what());
        return nullptr;
    }
    if (!session) {
        logFailure("내장 세션 생성 실패", "the adapter made no session");
        return nullptr;
    }
    cells_.push_back(session);
    emit cellsChanged();
    persist();
    if (!expandedID_) focus(session->id());
    return session;
}

void SessionStore::closeCell(QString id)
{
    if (const SessionPtr found = cell(id)) {
        if (found->kind() == AdapterKind::embedded) embedded_->closeSession(id);
        else if (found->kind() == AdapterKind::iterm2) iterm2_->idToGuid.remove(id);  // the session goes on
    }
    if (expandedID_ == id) setExpandedID(std::nullopt);
    removeCells(id);
    persist();
}

void SessionStore::setLabel(const QString& id, const QString& text)
{
    const SessionPtr found = cell(id);
    if (!found) return;
    const QString label = text.trimmed();
    if (label.isEmpty()) return;
    found->setProjectLabel(label);
    found->setLabelLockedByUser(true);
    persist();
}

void SessionStore::focus(const QString& id)
{
    const SessionPtr found = cell(id);
    if (!found) return;
    try {
        if (found->kind() == AdapterKind::embedded) embedded_->focus(id);
        else if (found->kind() == AdapterKind::iterm2) iterm2_->focus(id);
    } catch (const std::exception&) {
        // A cell without panes or an unmapped iTerm2 cell: nothing to focus.
    }
}

void SessionStore::toggleExpand(const QString& id)
{
    if (expandedID_ == id) {
        setExpandedID(std::nullopt);
        return;
    }
    const SessionPtr found = cell(id);
    if (!found) return;
    setExpandedID(id);
    if (found->kind() == AdapterKind::embedded) focus(id);
}

void SessionStore::toggleBroadcastMode()
{
    setBroadcastMode(!broadcastMode_);
    QSet<QString> targets;
    if (broadcastMode_)
        for (const auto& c : cells_)
            if (c->kind() == AdapterKind::embedded) targets.insert(c->id());
    setBroadcastTargets(std::move(targets));
}

void SessionStore::toggleBroadcastTarget(const QString& id)
{
    QSet<QString> targets = broadcastTargets_;
    if (!targets.remove(id)) targets.insert(id);
    setBroadcastTargets(std::move(targets));
}

bool SessionStore::reachedByBroadcast(const TerminalSession& cell) const
{
    // The first pane only; a cell without panes gets nothing.
    return cell.kind() == AdapterKind::embedded && broadcastTargets_.contains(cell.id()) &&
           embedded_->paneCount(cell.id()) > 0;
}

int SessionStore::broadcastReach() const
{
    return static_cast<int>(std::count_if(cells_.begin(), cells_.end(),
                                          [this](const SessionPtr& c) { return reachedByBroadcast(*c); }));
}

void SessionStore::sendBroadcast(const QString& text)
{
    const QString line = text + u'\r';
    const std::vector<SessionPtr> current = cells_;
    for (const auto& c : current)
        if (reachedByBroadcast(*c)) embedded_->sendText(c->id(), line);
}

bool SessionStore::search(const QString& id, const QString& term, bool forward)
{
    const SessionPtr found = cell(id);
    if (!found || found->kind() != AdapterKind::embedded || term.isEmpty()) return false;
    SearchTarget* pane = embedded_->primarySearch(id);
    if (!pane) return false;
    return forward ? pane->findNext(term, true) : pane->findPrevious(term, true);
}

void SessionStore::sendToITerm2(const QString& id, const QString& text)
{
    const QString trimmed = text.trimmed();
    const auto guid = iterm2_->idToGuid.constFind(id);
    if (trimmed.isEmpty() || guid == iterm2_->idToGuid.constEnd()) return;
    ITerm2AppleScript::sendText(*guid, trimmed);  // AppleScript even with the Python interface on
}

bool SessionStore::handleDrop(const QString& payload, qsizetype targetIndex)
{
    if (payload.startsWith(kExternalPrefix)) {
        const QStringList parts = payload.split(u'\u0001');
        const QString guid = parts.value(1);
        const QString name = parts.size() >= 3 ? parts[2] : guid;
        absorbExternal(guid, name, targetIndex);
        return true;
    }
    const std::optional<qsizetype> from = index(payload);
    if (!from) return false;
    const auto last = static_cast<qsizetype>(cells_.size()) - 1;
    const qsizetype to = std::min(targetIndex, last);
    const std::vector<SessionPtr> before = cells_;
    GridLayout::move(cells_, *from, to);
    if (cells_ != before) emit cellsChanged();
    persist();
    return true;
}

void SessionStore::absorbExternal(const QString& guid, const QString& name, qsizetype at)
{
    if (guid.isEmpty()) return;
    for (const QString& mapped : std::as_const(iterm2_->idToGuid))
        if (mapped == guid) return;
    auto session = std::make_shared<TerminalSession>(QString::fromStdString(NanoID::make(14)), AdapterKind::iterm2,
                                                     guid, cleanLabel(name), false, std::nullopt, std::nullopt);
    iterm2_->idToGuid.insert(session->id(), guid);
    const auto position = std::clamp<qsizetype>(at, 0, static_cast<qsizetype>(cells_.size()));
    cells_.insert(cells_.begin() + position, std::move(session));
    emit cellsChanged();
    QList<ITerm2SessionSnapshot> remaining = importList_;
    remaining.removeIf([&](const ITerm2SessionSnapshot& s) { return s.guid == guid; });
    setImportList(std::move(remaining));
    persist();
}

void SessionStore::addProfile(const QString& name, const std::optional<QString>& cwd,
                              const std::optional<QString>& startCommand)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) return;
    // Folder and command are kept exactly as given; empty counts as absent.
    auto kept = [](const std::optional<QString>& text) -> std::optional<std::string> {
        if (!text || text->isEmpty()) return std::nullopt;
        return text->toStdString();
    };
    std::vector<TerminalProfile> profiles = profiles_;
    profiles.push_back({NanoID::make(14), trimmed.toStdString(), kept(cwd), kept(startCommand)});
    setProfiles(std::move(profiles));
    persist();
}

}  // namespace tilebay
