#include "app/shell/EmbeddedBridge.h"

#include "corvel/qt/TerminalView.h"

namespace tilebay {

EmbeddedBridge::EmbeddedBridge(std::unique_ptr<EmbeddedAdapter> adapter) : adapter_(std::move(adapter))
{
    adapter_->onActivity = [this](const QString& id) {
        copyActivity(id);
        if (onActivity) onActivity(id);
    };
    adapter_->onTerminated = [this](const QString& id) {
        if (onTerminated) onTerminated(id);
    };
}

void EmbeddedBridge::copySettings()
{
    adapter_->theme = theme;
    adapter_->fontSize = fontSize;
    adapter_->useTmux = useTmux;
}

void EmbeddedBridge::copyActivity(const QString& id)
{
    const auto it = adapter_->lastActivity.constFind(id);
    if (it != adapter_->lastActivity.constEnd()) lastActivity.insert(id, *it);
}

std::shared_ptr<TerminalSession> EmbeddedBridge::createSession(const std::optional<QString>& label,
                                                               const std::optional<QString>& cwd,
                                                               const std::optional<QString>& startCommand)
{
    copySettings();
    auto session = adapter_->createSession(label, cwd, startCommand);
    if (session) copyActivity(session->id());
    return session;
}

std::shared_ptr<TerminalSession> EmbeddedBridge::restoreSession(const CellRecord& record)
{
    copySettings();
    auto session = adapter_->restoreSession(record);
    if (session) copyActivity(session->id());
    return session;
}

void EmbeddedBridge::forgetSession(const QString& id)
{
    adapter_->forgetSession(id);
    lastActivity.remove(id);
}

void EmbeddedBridge::closeSession(const QString& id)
{
    copySettings();
    adapter_->closeSession(id);
    lastActivity.remove(id);
}

void EmbeddedBridge::applyThemeToAll(TerminalTheme t, double size)
{
    theme = t;
    fontSize = size;
    adapter_->applyThemeToAll(t, size);
}

int EmbeddedBridge::paneCount(const QString& id) const
{
    return static_cast<int>(adapter_->paneViews(id).size());
}

SearchTarget* EmbeddedBridge::primarySearch(const QString& id)
{
    EmbeddedPaneView* pane = adapter_->primary(id);
    if (!pane) return nullptr;
    search_.view = &pane->terminalView();
    return &search_;
}

bool EmbeddedBridge::ViewSearch::step(const QString& term, bool forward, bool scrollToResult)
{
    if (!view) return false;
    const auto found = view->search().findAndSelect(view->selection(), term.toStdString(), {}, forward);
    if (found && scrollToResult)
        if (const auto top = view->search().revealScrollTarget(found->row)) view->scrollTo(*top);
    view->update();
    return found.has_value();
}

void EmbeddedBridge::ViewSearch::clearSearch()
{
    if (!view) return;
    view->search().reset();
    view->selection().setActive(false);
    view->update();
}

}  // namespace tilebay
