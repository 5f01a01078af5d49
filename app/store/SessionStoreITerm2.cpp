// The store's iTerm2 half: the poll that absorbs new iTerm2 sessions and
// mirrors the visible iTerm2 cells (label, preview, status), and the refresh
// of the import panel's list. Both ask the adapter and finish when it
// answers on the main queue, working on the store's state as it is then.
#include "app/store/SessionStore.h"

#include "app/core/NanoID.h"
#include "app/store/SessionText.h"

#include <QPointer>

#include <limits>
#include <map>

namespace tilebay {

QString SessionStore::cleanLabel(const QString& raw) const
{
    return SessionText::cleanLabel(raw, stripTitleTails_);
}

void SessionStore::pollITerm2()
{
    if (isPollingITerm2_) return;  // one poll at a time
    if (isLiveResizing_) return;
    const corvel::Nanos started = now();
    if (lastITerm2Poll_ && started - *lastITerm2Poll_ < iTerm2PollSpacing) return;
    lastITerm2Poll_ = started;
    isPollingITerm2_ = true;
    QPointer<SessionStore> self(this);
    iterm2_->poll([self](std::vector<ITerm2SessionSnapshot> snapshots) {
        if (self) self->finishITerm2Poll(std::move(snapshots));
    });
}

void SessionStore::finishITerm2Poll(std::vector<ITerm2SessionSnapshot> snapshots)
{
    // By session id, in ascending order; the later of two equal ids wins.
    std::map<QString, ITerm2SessionSnapshot> byGuid;
    for (auto& s : snapshots) {
        if (s.guid.isEmpty()) continue;
        const QString guid = s.guid;
        byGuid.insert_or_assign(guid, std::move(s));
    }

    bool added = false;
    if (absorbITerm2_) {
        QSet<QString> mapped;
        for (const QString& guid : std::as_const(iterm2_->idToGuid)) mapped.insert(guid);
        for (const auto& [guid, snapshot] : byGuid) {
            if (mapped.contains(guid)) continue;
            auto session = std::make_shared<TerminalSession>(QString::fromStdString(NanoID::make(14)),
                                                             AdapterKind::iterm2, guid, cleanLabel(snapshot.name),
                                                             false, std::nullopt, std::nullopt);
            session->setPreviewText(SessionText::tail(snapshot.contents, SessionText::previewLineCount));
            iterm2_->idToGuid.insert(session->id(), guid);
            mapped.insert(guid);
            cells_.push_back(std::move(session));
            added = true;
        }
        if (added) emit cellsChanged();
    }

    const corvel::Nanos refreshed = now();
    const std::vector<SessionPtr> current = cells_;
    for (const auto& cell : current) {
        if (cell->kind() != AdapterKind::iterm2 || !cell->externalRef()) continue;
        if (expandedID_ ? *expandedID_ != cell->id() : !visibleCells.contains(cell->id())) continue;
        const QString& guid = *cell->externalRef();
        const auto found = byGuid.find(guid);
        if (found == byGuid.end()) continue;
        const ITerm2SessionSnapshot& snapshot = found->second;

        if (!cell->labelLockedByUser()) {
            const QString label = cleanLabel(snapshot.name);
            if (!label.isEmpty()) cell->setProjectLabel(label);
        }
        const size_t hash = qHash(snapshot.contents);
        if (const auto seen = lastHash_.constFind(guid); seen == lastHash_.constEnd() || *seen != hash) {
            lastHash_.insert(guid, hash);
            lastChange_.insert(guid, refreshed);
            cell->setPreviewText(SessionText::tail(snapshot.contents, SessionText::previewLineCount));
        }
        double seconds = std::numeric_limits<double>::infinity();
        if (const auto changed = lastChange_.constFind(guid); changed != lastChange_.constEnd())
            seconds = static_cast<double>(refreshed - *changed) / 1e9;
        const TerminalStatus status = classifier_->classify(snapshot.contents, seconds,
                                                            static_cast<double>(idleThresholdSec_), cell->status());
        applyDebounced(*cell, status);
    }

    if (added) persist();
    isPollingITerm2_ = false;
}

void SessionStore::refreshImportList()
{
    setImportLoading(true);
    QPointer<SessionStore> self(this);
    iterm2_->poll([self](std::vector<ITerm2SessionSnapshot> snapshots) {
        if (self) self->finishImportList(snapshots);
    });
}

void SessionStore::finishImportList(const std::vector<ITerm2SessionSnapshot>& snapshots)
{
    QSet<QString> taken;
    for (const auto& cell : cells_)
        if (cell->externalRef()) taken.insert(*cell->externalRef());
    QList<ITerm2SessionSnapshot> list;
    for (const auto& s : snapshots) {
        if (s.guid.isEmpty() || taken.contains(s.guid)) continue;
        taken.insert(s.guid);  // the first snapshot of an id wins
        list.append(s);
    }
    setImportList(std::move(list));
    setImportLoading(false);
}

}  // namespace tilebay
