// The embedded adapter with real login shells, behind the interface the
// store takes: each pane is a local-process terminal view whose child runs
// on a pseudo-terminal and hears every size change of the view. The store's
// theme, size and tmux choice are handed to the adapter before each new
// cell. For the sheets' tests that need real shells (folders, start
// commands, column counts).
#pragma once

#include "app/adapters/embedded/EmbeddedAdapter.h"
#include "app/store/EmbeddedController.h"
#include "corvel/qt/LocalProcessTerminalView.h"

#include <memory>

namespace tilebay::testing {

class ShellPane final : public EmbeddedPaneView {
public:
    ShellPane(int width, int height) : view_(std::make_unique<View>(QRect(0, 0, width, height), this))
    {
        delegate_ = std::make_shared<Ended>(this);
        view_->setProcessDelegate(delegate_);
    }
    ~ShellPane() override { delegate_->pane = nullptr; }

    corvel::TerminalView& terminalView() override { return *view_; }
    void startProcess(const LaunchCommand& c) override
    {
        view_->startProcess(c.executable, c.args, c.environment, c.execName, c.currentDirectory);
    }
    void terminate() override { view_->terminate(); }
    void send(const std::string& text) override { view_->send(std::string_view(text)); }

private:
    class View final : public corvel::LocalProcessTerminalView {
    public:
        View(const QRect& frame, ShellPane* pane) : LocalProcessTerminalView(frame), pane_(pane) {}
        void dataReceived(std::span<const uint8_t> slice) override
        {
            LocalProcessTerminalView::dataReceived(slice);
            if (pane_->onData) pane_->onData();
        }

    private:
        ShellPane* pane_;
    };
    struct Ended final : corvel::LocalProcessTerminalViewDelegate {
        explicit Ended(ShellPane* p) : pane(p) {}
        ShellPane* pane;
        void sizeChanged(corvel::LocalProcessTerminalView&, int, int) override {}
        void setTerminalTitle(corvel::LocalProcessTerminalView&, const std::string&) override {}
        void hostCurrentDirectoryUpdate(corvel::LocalProcessTerminalView&, const std::optional<std::string>&) override {}
        void processTerminated(corvel::LocalProcessTerminalView&, std::optional<int32_t> code) override
        {
            if (pane && pane->onTerminated) pane->onTerminated(code);
        }
    };

    std::unique_ptr<View> view_;
    std::shared_ptr<Ended> delegate_;
};

class ShellPaneKit final : public EmbeddedPaneKit {
public:
    std::unique_ptr<EmbeddedPaneView> makePane(int width, int height) override
    {
        return std::make_unique<ShellPane>(width, height);
    }
    QWidget* makeLayout(const std::vector<EmbeddedPaneView*>&, Axis) override { return nullptr; }
};

class ShellEmbedded final : public EmbeddedController {
public:
    ShellEmbedded() : adapter_(std::make_unique<ShellPaneKit>(), TmuxLookup::none())
    {
        adapter_.onActivity = [this](const QString& id) {
            lastActivity = adapter_.lastActivity;
            if (onActivity) onActivity(id);
        };
        adapter_.onTerminated = [this](const QString& id) {
            if (onTerminated) onTerminated(id);
        };
    }

    EmbeddedAdapter& adapter() { return adapter_; }
    // The columns the cell's first pane's terminal has now.
    int columns(const QString& id) const
    {
        auto* pane = adapter_.primary(id);
        return pane ? pane->terminalView().getTerminal().cols() : 0;
    }

    std::shared_ptr<TerminalSession> createSession(const std::optional<QString>& label,
                                                   const std::optional<QString>& cwd,
                                                   const std::optional<QString>& startCommand) override
    {
        sync();
        return adapter_.createSession(label, cwd, startCommand);
    }
    std::shared_ptr<TerminalSession> restoreSession(const CellRecord& record) override
    {
        sync();
        return adapter_.restoreSession(record);
    }
    void forgetSession(const QString& id) override { adapter_.forgetSession(id); }
    void applyThemeToAll(TerminalTheme t, double size) override
    {
        theme = t;
        fontSize = size;
        adapter_.applyThemeToAll(t, size);
    }
    int paneCount(const QString& id) const override { return static_cast<int>(adapter_.paneViews(id).size()); }
    SearchTarget* primarySearch(const QString&) override { return nullptr; }

    QStringList sessionIds() const override { return adapter_.sessionIds(); }
    bool hasSession(const QString& id) const override { return adapter_.hasSession(id); }
    void sendText(const QString& id, const QString& text) override { adapter_.sendText(id, text); }
    void focus(const QString& id) override { adapter_.focus(id); }
    void closeSession(const QString& id) override { adapter_.closeSession(id); }
    QString visibleText(const QString& id) const override { return adapter_.visibleText(id); }
    QWidget* cellContentView(const QString& id) override { return adapter_.cellContentView(id); }

private:
    void sync()
    {
        adapter_.theme = theme;
        adapter_.fontSize = fontSize;
        adapter_.useTmux = useTmux;
    }

    EmbeddedAdapter adapter_;
};

}  // namespace tilebay::testing
