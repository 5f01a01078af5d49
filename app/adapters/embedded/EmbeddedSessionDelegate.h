// Turns a pane view's process reports into the two callbacks an embedded
// pane needs: a title (which an embedded cell ignores unless someone sets
// onTitle) and the end of the child. Size and folder changes are of no
// interest here.
//
// GUI thread only. The view holds it weakly; the pane view that made it
// keeps it alive, so no report arrives once the pane is gone.
#pragma once

#include "corvel/qt/LocalProcessTerminalView.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tilebay {

class EmbeddedSessionDelegate final : public corvel::LocalProcessTerminalViewDelegate {
public:
    std::function<void(const std::string& title)> onTitle;
    std::function<void(std::optional<int32_t> exitCode)> onTerminated;

    void sizeChanged(corvel::LocalProcessTerminalView&, int, int) override {}
    void setTerminalTitle(corvel::LocalProcessTerminalView&, const std::string& title) override
    {
        if (onTitle) onTitle(title);
    }
    void hostCurrentDirectoryUpdate(corvel::LocalProcessTerminalView&, const std::optional<std::string>&) override {}
    void processTerminated(corvel::LocalProcessTerminalView&, std::optional<int32_t> exitCode) override
    {
        if (onTerminated) onTerminated(exitCode);
    }
};

}  // namespace tilebay
