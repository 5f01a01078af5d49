// Helpers of the tests that run real programs in a LocalProcessTerminalView:
// a view sized to a grid, a recording process delegate, and waiting for text
// on the screen.
#pragma once

#include "QtTestSupport.h"

#include "corvel/qt/LocalProcessTerminalView.h"

#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace corvel::testing {

struct RecordingProcessDelegate : LocalProcessTerminalViewDelegate {
    std::vector<std::optional<int32_t>> exits;
    std::vector<std::pair<int, int>> sizes;

    void sizeChanged(LocalProcessTerminalView&, int cols, int rows) override { sizes.emplace_back(cols, rows); }
    void setTerminalTitle(LocalProcessTerminalView&, const std::string&) override {}
    void hostCurrentDirectoryUpdate(LocalProcessTerminalView&, const std::optional<std::string>&) override {}
    void processTerminated(LocalProcessTerminalView&, std::optional<int32_t> exitCode) override
    {
        exits.push_back(exitCode);
    }
};

// The logical size of a view whose grid is cols x rows in the test font.
inline QSize frameFor(TerminalView& view, int cols, int rows)
{
    const QSizeF cell = *view.cellDimension();
    return QSize(int(std::ceil(cell.width() * cols + view.scrollerWidth())), int(std::ceil(cell.height() * rows)));
}

// A shown view of cols x rows in the test font.
inline std::unique_ptr<LocalProcessTerminalView> makeProcessView(int cols, int rows)
{
    auto view = std::make_unique<LocalProcessTerminalView>();
    view->setFont(testFont());
    view->resize(frameFor(*view, cols, rows));
    view->show();
    pumpUntil([&] { return view->getTerminal().cols() == cols && view->getTerminal().rows() == rows; });
    return view;
}

// Every line of the active screen and its scrollback, trailing blanks trimmed.
inline std::vector<std::string> screenLines(TerminalView& view)
{
    const std::vector<uint8_t> data = view.getTerminal().getBufferAsData();
    std::vector<std::string> lines;
    std::istringstream in(std::string(data.begin(), data.end()));
    for (std::string line; std::getline(in, line);) {
        while (!line.empty() && line.back() == ' ') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

inline bool screenContains(TerminalView& view, const std::string& text)
{
    for (const std::string& line : screenLines(view))
        if (line.find(text) != std::string::npos) return true;
    return false;
}

inline bool screenHasLine(TerminalView& view, const std::string& text)
{
    for (const std::string& line : screenLines(view))
        if (line == text) return true;
    return false;
}

// Waits until the screen shows `text`; the bound only guards against a hang.
inline bool waitForText(TerminalView& view, const std::string& text)
{
    return pumpUntil([&] { return screenContains(view, text); });
}

}  // namespace corvel::testing
