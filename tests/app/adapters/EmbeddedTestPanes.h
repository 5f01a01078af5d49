// A pane kit for the embedded adapter's bookkeeping tests. FakePaneKit makes
// panes whose terminal view is real (themed, fed, read, searched) but whose
// child is only recorded: the test feeds output, ends the child, reports
// input that found no child and reads what was started and typed through a
// probe that outlives the pane. (Tests with real children use the
// application's own kit.)
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
    // Typed text, and pasted text marked "paste:".
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
    void startProcess(const LaunchCommand& command) override
    {
        dropping_ = false;
        probe_->started.push_back(command);
    }
    void terminate() override { ++probe_->terminated; }
    void send(const std::string& text) override { probe_->sent.push_back(text); }
    void pasteText(const std::string& text) override { probe_->sent.push_back("paste:" + text); }
    void dropOutputUntilStart() override { dropping_ = true; }

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
        if (onTerminated) onTerminated(0);
    }
    // Input reached the view while no child ran: a key (no text), or text
    // sent or pasted.
    void inputWithoutChild(std::optional<UnsentText> text = std::nullopt)
    {
        if (onInputWithoutChild) onInputWithoutChild(std::move(text));
    }
    std::string& replies() { return recorder_->replies; }

private:
    std::unique_ptr<corvel::TerminalView> view_;
    std::shared_ptr<ReplyRecorder> recorder_;
    std::shared_ptr<PaneProbe> probe_;
    bool dropping_ = false;
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

}  // namespace tilebay::testing
