// Real shells behind the grid, for the X11 tests and benchmarks: the real
// embedded adapter with panes that are local-process terminal views running
// the launch command on a pseudo-terminal and counting every window-size
// change sent to a running child (each is one SIGWINCH), laid out side by
// side or stacked.
#pragma once

#include "app/adapters/embedded/EmbeddedAdapter.h"
#include "corvel/qt/LocalProcessTerminalView.h"

#include <QBoxLayout>
#include <QWidget>

#include <memory>

namespace tilebay::testing {

class WinchCountingView final : public corvel::LocalProcessTerminalView {
public:
    using LocalProcessTerminalView::LocalProcessTerminalView;
    std::function<void()> onData;
    std::function<void(std::optional<int32_t>)> onEnd;
    int winches = 0;

    void sizeChanged(corvel::TerminalView& source, int cols, int rows) override
    {
        if (process().running()) ++winches;
        LocalProcessTerminalView::sizeChanged(source, cols, rows);
    }
    void dataReceived(std::span<const uint8_t> slice) override
    {
        LocalProcessTerminalView::dataReceived(slice);
        if (onData) onData();
    }
    void processTerminated(corvel::LocalProcess& source, std::optional<int32_t> code) override
    {
        LocalProcessTerminalView::processTerminated(source, code);
        if (onEnd) onEnd(code);
    }
};

class GridShellPane final : public EmbeddedPaneView {
public:
    GridShellPane(int width, int height) : view_(std::make_unique<WinchCountingView>(QRect(0, 0, width, height)))
    {
        view_->onData = [this] {
            if (onData) onData();
        };
        view_->onEnd = [this](std::optional<int32_t> code) {
            if (onTerminated) onTerminated(code);
        };
    }
    corvel::TerminalView& terminalView() override { return *view_; }
    void startProcess(const LaunchCommand& c) override
    {
        view_->startProcess(c.executable, c.args, c.environment, c.execName, c.currentDirectory);
    }
    // The grid's shells are plain shells (no tmux): nothing waits for the
    // layout, and no input is held.
    void startProcessOnceLaidOut(const LaunchCommand& c) override { startProcess(c); }
    void terminate() override { view_->terminate(); }
    void send(const std::string& text) override { view_->send(std::string_view(text)); }
    void pasteText(const std::string& text) override { view_->insertText(text, true); }
    void holdInput(bool) override {}
    void dropOutputUntilStart() override {}
    WinchCountingView& terminal() { return *view_; }

private:
    std::unique_ptr<WinchCountingView> view_;
};

class GridShellKit final : public EmbeddedPaneKit {
public:
    std::unique_ptr<EmbeddedPaneView> makePane(int width, int height) override
    {
        return std::make_unique<GridShellPane>(width, height);
    }
    QWidget* makeLayout(const std::vector<EmbeddedPaneView*>& panes, Axis axis) override
    {
        auto* box = new QWidget;
        auto* layout = new QBoxLayout(axis == Axis::horizontal ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom, box);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(2);
        for (EmbeddedPaneView* pane : panes) layout->addWidget(&pane->terminalView());
        return box;
    }
};

// The real embedded adapter over these panes, for the store.
inline std::unique_ptr<EmbeddedAdapter> gridShells(TmuxLookup lookup)
{
    return std::make_unique<EmbeddedAdapter>(std::make_unique<GridShellKit>(), std::move(lookup));
}

inline WinchCountingView& gridShellPane(const EmbeddedAdapter& shells, const QString& id, size_t index)
{
    return static_cast<GridShellPane*>(shells.paneViews(id).at(index))->terminal();
}

}  // namespace tilebay::testing
