// The store's embedded controller over the embedded adapter: every call is
// passed on, the settings the store writes into the controller's fields
// (theme, font size, tmux) are copied into the adapter before a cell is made,
// the adapter's activity and end reports reach the store's callbacks, and a
// cell's first pane is offered as a search target over its terminal view's
// search and selection.
//
// Threads: the GUI thread only. Ownership: the bridge owns the adapter; the
// search target it hands out points at the first pane's view and is valid
// until the next call.
#pragma once

#include "app/adapters/embedded/EmbeddedAdapter.h"
#include "app/store/EmbeddedController.h"

#include <memory>

namespace corvel {
class TerminalView;
}

namespace tilebay {

class EmbeddedBridge final : public EmbeddedController {
public:
    explicit EmbeddedBridge(std::unique_ptr<EmbeddedAdapter> adapter);

    EmbeddedAdapter& adapter() { return *adapter_; }

    std::shared_ptr<TerminalSession> createSession(const std::optional<QString>& label,
                                                   const std::optional<QString>& cwd,
                                                   const std::optional<QString>& startCommand) override;
    std::shared_ptr<TerminalSession> restoreSession(const CellRecord& record) override;
    void forgetSession(const QString& id) override;
    void applyThemeToAll(TerminalTheme theme, double fontSize) override;
    int paneCount(const QString& id) const override;
    SearchTarget* primarySearch(const QString& id) override;

    QStringList sessionIds() const override { return adapter_->sessionIds(); }
    bool hasSession(const QString& id) const override { return adapter_->hasSession(id); }
    void sendText(const QString& id, const QString& text) override { adapter_->sendText(id, text); }
    void focus(const QString& id) override { adapter_->focus(id); }
    void closeSession(const QString& id) override;
    QString visibleText(const QString& id) const override { return adapter_->visibleText(id); }
    QWidget* cellContentView(const QString& id) override { return adapter_->cellContentView(id); }

private:
    // A terminal view's search as the store's search target.
    class ViewSearch final : public SearchTarget {
    public:
        corvel::TerminalView* view = nullptr;
        bool findNext(const QString& term, bool scrollToResult) override { return step(term, true, scrollToResult); }
        bool findPrevious(const QString& term, bool scrollToResult) override
        {
            return step(term, false, scrollToResult);
        }
        void clearSearch() override;

    private:
        bool step(const QString& term, bool forward, bool scrollToResult);
    };

    void copySettings();
    void copyActivity(const QString& id);

    std::unique_ptr<EmbeddedAdapter> adapter_;
    ViewSearch search_;
};

}  // namespace tilebay
