// A pane kit for the embedded adapter's bookkeeping tests. FakePaneKit makes
// panes whose terminal view is real (themed, fed, read, searched) but whose
// child is only recorded: the test feeds output, ends the child, fails a
// start, types and pastes into the pane (held while the pane holds its
// input, as the real pane does) and reads what was started and what reached
// the child through a probe that outlives the pane. The child can also hang
// up before its end is reported: its terminal then refuses what is typed,
// which the pane holds, and hands back what it never took. (Tests with real
// children use the application's own kit.)
#pragma once

#include "app/adapters/embedded/EmbeddedPaneView.h"
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
    // How many of those waited for the pane to be laid out.
    int startedOnceLaidOut = 0;
    // What reached the child: typed or sent text, and pasted text marked
    // "paste:".
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
    FakePane(int width, int height, std::shared_ptr<PaneProbe> probe, std::shared_ptr<int> failingStarts)
        : view_(std::make_unique<corvel::TerminalView>(QRect(0, 0, width, height))),
          recorder_(std::make_shared<ReplyRecorder>()),
          probe_(std::move(probe)),
          failingStarts_(std::move(failingStarts))
    {
        view_->setTerminalDelegate(recorder_);
    }
    ~FakePane() override { probe_->destroyed = true; }

    corvel::TerminalView& terminalView() override { return *view_; }
    void startProcess(const LaunchCommand& command) override
    {
        dropping_ = false;
        hungUp_ = false;
        probe_->started.push_back(command);
        running_ = *failingStarts_ <= 0;
        if (running_) return;
        --*failingStarts_;
        if (onStartFailed) onStartFailed();
    }
    void startProcessOnceLaidOut(const LaunchCommand& command) override
    {
        ++probe_->startedOnceLaidOut;
        startProcess(command);
    }
    void terminate() override
    {
        running_ = false;
        ++probe_->terminated;
    }
    void send(const std::string& text) override { input({text, HeldInput::Kind::sent}); }
    void pasteText(const std::string& text) override { input({text, HeldInput::Kind::pasted}); }
    void holdInput(bool on) override { holding_ = on; }
    void dropOutputUntilStart() override { dropping_ = true; }

    // The user typed `text` (a key's bytes, or committed text).
    void type(const std::string& text) { input({text, HeldInput::Kind::typed}); }
    bool holding() const { return holding_ || !running_; }

    // The child (or what it left holding its terminal) wrote `bytes`.
    void output(std::string_view bytes)
    {
        if (dropping_) return;
        view_->getTerminal().feed(bytes);
        if (onData) onData();
    }
    // The child ended by itself.
    void end()
    {
        running_ = false;
        if (onTerminated) onTerminated(0);
    }
    // The child's terminal takes nothing more (its child hung up); the end
    // is reported later.
    void hangUp() { hungUp_ = true; }
    // What went to the child that hung up and that its terminal never took.
    void giveBack(const std::string& unwritten)
    {
        if (onHeldInput) onHeldInput({unwritten, HeldInput::Kind::typed, true});
    }
    std::string& replies() { return recorder_->replies; }

private:
    void input(HeldInput in)
    {
        if (holding() || hungUp_) {
            // A terminal that refuses input makes it typed bytes, as the
            // real pane's does.
            if (hungUp_ && !holding()) in.kind = HeldInput::Kind::typed;
            if (onHeldInput) onHeldInput(std::move(in));
            return;
        }
        probe_->sent.push_back(in.kind == HeldInput::Kind::pasted ? "paste:" + in.text : in.text);
    }

    std::unique_ptr<corvel::TerminalView> view_;
    std::shared_ptr<ReplyRecorder> recorder_;
    std::shared_ptr<PaneProbe> probe_;
    std::shared_ptr<int> failingStarts_;
    bool dropping_ = false;
    bool hungUp_ = false;
    bool running_ = false;
    bool holding_ = false;
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
        return std::make_unique<FakePane>(width, height, probes->back(), failingStarts);
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
    // How many of the next starts, in any pane, make no child.
    std::shared_ptr<int> failingStarts = std::make_shared<int>(0);
};

}  // namespace tilebay::testing
