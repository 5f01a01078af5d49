#include "app/shell/LocalPaneKit.h"

#include "corvel/qt/LocalProcessTerminalView.h"

#include <QBoxLayout>
#include <QPointer>
#include <QWidget>

namespace tilebay {

namespace {

class PaneTerminalView;

class LocalPane final : public EmbeddedPaneView {
public:
    LocalPane(int width, int height);
    ~LocalPane() override;

    corvel::TerminalView& terminalView() override;
    void startProcess(const LaunchCommand& command) override;
    void terminate() override;
    void send(const std::string& text) override;

private:
    friend class PaneTerminalView;
    std::unique_ptr<PaneTerminalView> view_;
};

// The view reports each fed chunk and the child's end to its pane.
class PaneTerminalView final : public corvel::LocalProcessTerminalView {
public:
    PaneTerminalView(const QRect& frame, LocalPane* pane) : LocalProcessTerminalView(frame), pane_(pane) {}
    void detach() { pane_ = nullptr; }

    void dataReceived(std::span<const uint8_t> slice) override
    {
        LocalProcessTerminalView::dataReceived(slice);
        if (pane_ && pane_->onData) pane_->onData();
    }
    void processTerminated(corvel::LocalProcess& source, std::optional<int32_t> exitCode) override
    {
        LocalProcessTerminalView::processTerminated(source, exitCode);
        if (pane_ && pane_->onTerminated) pane_->onTerminated(exitCode);
    }

private:
    LocalPane* pane_;
};

LocalPane::LocalPane(int width, int height)
    : view_(std::make_unique<PaneTerminalView>(QRect(0, 0, width, height), this))
{
}

LocalPane::~LocalPane()
{
    view_->detach();
    view_->terminate();
}

corvel::TerminalView& LocalPane::terminalView() { return *view_; }

void LocalPane::startProcess(const LaunchCommand& command)
{
    view_->startProcess(command.executable, command.args, command.environment, command.execName,
                        command.currentDirectory);
}

void LocalPane::terminate() { view_->terminate(); }

void LocalPane::send(const std::string& text)
{
    view_->send(std::string_view(text));
}

// Holds a cell's pane widgets while it lives; gives them back when it goes.
class PaneContainer final : public QWidget {
public:
    PaneContainer(const std::vector<EmbeddedPaneView*>& panes, EmbeddedPaneKit::Axis axis)
    {
        auto* box = new QBoxLayout(axis == EmbeddedPaneKit::Axis::horizontal ? QBoxLayout::LeftToRight
                                                                            : QBoxLayout::TopToBottom,
                                   this);
        box->setContentsMargins(0, 0, 0, 0);
        box->setSpacing(1);
        for (EmbeddedPaneView* pane : panes) {
            QWidget* widget = &pane->terminalView();
            box->addWidget(widget, 1);
            widget->show();
            held_.push_back(widget);
        }
    }
    ~PaneContainer() override
    {
        for (const QPointer<QWidget>& widget : held_)
            if (widget && widget->parentWidget() == this) {
                widget->hide();
                widget->setParent(nullptr);
            }
    }

private:
    std::vector<QPointer<QWidget>> held_;
};

}  // namespace

std::unique_ptr<EmbeddedPaneView> LocalPaneKit::makePane(int width, int height)
{
    return std::make_unique<LocalPane>(width, height);
}

QWidget* LocalPaneKit::makeLayout(const std::vector<EmbeddedPaneView*>& panes, Axis axis)
{
    return new PaneContainer(panes, axis);
}

}  // namespace tilebay
