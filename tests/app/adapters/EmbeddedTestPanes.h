// Pane kits for the embedded adapter's tests. FakePaneKit makes panes whose
// terminal view is real (themed, fed, read) but whose child is only recorded:
// the test feeds output, ends the child and reads what was started and typed
// through a probe that outlives the pane. ProcessPaneKit makes panes that run
// the launch command on a real pseudo-terminal (the process host delivers on
// the main queue, which the test pumps) and feed the output to the view.
#pragma once

#include "app/adapters/embedded/EmbeddedPaneView.h"
#include "corvel/host/LocalProcess.h"
#include "corvel/host/LocalProcessDelegate.h"
#include "corvel/qt/TerminalView.h"
#include "corvel/qt/TerminalViewDelegate.h"

#include <QRect>
#include <QWidget>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tilebay::testing {

struct PaneProbe {
    std::vector<LaunchCommand> started;
    std::vector<std::string> sent;
    int terminated = 0;
    bool destroyed = false;
};

// Records the bytes the view's terminal answers.
struct ReplyRecorder : corvel::TerminalViewDelegate {
    std::string replies;
    void sizeChanged(corvel::TerminalView&, int, int) override {}
    void setTerminalTitle(corvel::TerminalView&, const std::string&) override {}
    void hostCurrentDirectoryUpdate(corvel::TerminalView&, const std::optional<std::string>&) override {}
    void send(corvel::TerminalView&, std::span<const uint8_t> data) override { replies.append(data.begin(), data.end()); }
    void scrolled(corvel::TerminalView&, double) override {}
    void clipboardCopy(corvel::TerminalView&, std::span<const uint8_t>) override {}
};

class FakePane final : public EmbeddedPaneView {
public:
    FakePane(int width, int height, std::shared_ptr<PaneProbe> probe)
        : view_(std::make_unique<corvel::TerminalView>(QRect(0, 0, width, height))),
          recorder_(std::make_shared<ReplyRecorder>()),
          probe_(std::move(probe))
    {
        view_->setTerminalDelegate(recorder_);
    }
    ~FakePane() override { probe_->destroyed = true; }

    corvel::TerminalView& terminalView() override { return *view_; }
    void startProcess(const LaunchCommand& command) override { probe_->started.push_back(command); }
    void terminate() override { ++probe_->terminated; }
    void send(const std::string& text) override { probe_->sent.push_back(text); }

    // The child wrote `bytes`.
    void output(std::string_view bytes)
    {
        view_->getTerminal().feed(bytes);
        if (onData) onData();
    }
    // The child ended by itself.
    void end()
    {
        if (onTerminated) onTerminated(0);
    }
    std::string& replies() { return recorder_->replies; }

private:
    std::unique_ptr<corvel::TerminalView> view_;
    std::shared_ptr<ReplyRecorder> recorder_;
    std::shared_ptr<PaneProbe> probe_;
};

class FakePaneKit final : public EmbeddedPaneKit {
public:
    struct Layout {
        std::vector<EmbeddedPaneView*> panes;
        Axis axis;
    };

    std::unique_ptr<EmbeddedPaneView> makePane(int width, int height) override
    {
        probes->push_back(std::make_shared<PaneProbe>());
        return std::make_unique<FakePane>(width, height, probes->back());
    }
    QWidget* makeLayout(const std::vector<EmbeddedPaneView*>& panes, Axis axis) override
    {
        layouts->push_back({panes, axis});
        return new QWidget;
    }

    // Shared with the test, which keeps them after handing the kit over.
    std::shared_ptr<std::vector<std::shared_ptr<PaneProbe>>> probes =
        std::make_shared<std::vector<std::shared_ptr<PaneProbe>>>();
    std::shared_ptr<std::vector<Layout>> layouts = std::make_shared<std::vector<Layout>>();
};

class ProcessPane final : public EmbeddedPaneView {
public:
    ProcessPane(int width, int height)
        : view_(std::make_unique<corvel::TerminalView>(QRect(0, 0, width, height))),
          host_(std::make_shared<Host>(this)),
          process_(std::make_unique<corvel::LocalProcess>(host_))
    {
        view_->setTerminalDelegate(host_);
    }
    ~ProcessPane() override
    {
        host_->pane = nullptr;
        process_.reset();
    }

    corvel::TerminalView& terminalView() override { return *view_; }
    void startProcess(const LaunchCommand& command) override
    {
        process_->startProcess(command.executable, command.args, command.environment, command.execName,
                               command.currentDirectory);
    }
    void terminate() override { process_->terminate(); }
    void send(const std::string& text) override
    {
        process_->send({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    }
    pid_t pid() const { return process_->shellPid(); }
    bool running() const { return process_->running(); }

private:
    struct Host final : corvel::LocalProcessDelegate, ReplyRecorder {
        explicit Host(ProcessPane* pane) : pane(pane) {}
        ProcessPane* pane;

        void processTerminated(corvel::LocalProcess&, std::optional<int32_t> exitCode) override
        {
            if (pane && pane->onTerminated) pane->onTerminated(exitCode);
        }
        void dataReceived(std::span<const uint8_t> slice) override
        {
            if (!pane) return;
            pane->view_->getTerminal().feed(slice);
            if (pane->onData) pane->onData();
        }
        corvel::WindowSize getWindowSize() override
        {
            corvel::WindowSize size{};
            if (pane) {
                size.cols = static_cast<unsigned short>(pane->view_->getTerminal().cols());
                size.rows = static_cast<unsigned short>(pane->view_->getTerminal().rows());
            }
            return size;
        }
        void send(corvel::TerminalView&, std::span<const uint8_t> data) override
        {
            if (pane) pane->process_->send(data);
        }
    };

    std::unique_ptr<corvel::TerminalView> view_;
    std::shared_ptr<Host> host_;
    std::unique_ptr<corvel::LocalProcess> process_;
};

class ProcessPaneKit final : public EmbeddedPaneKit {
public:
    std::unique_ptr<EmbeddedPaneView> makePane(int width, int height) override
    {
        return std::make_unique<ProcessPane>(width, height);
    }
    QWidget* makeLayout(const std::vector<EmbeddedPaneView*>&, Axis) override { return nullptr; }
};

}  // namespace tilebay::testing
