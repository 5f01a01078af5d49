// Helpers of the pointer, command and callback tests of the terminal view:
// a real program on a pseudo-terminal whose output the view is fed (and
// whose input is the view's), a recording delegate that also records link
// requests and titles, cell centres, and primary-button events with chosen
// timestamps so click series are counted as a user's would be, and a view
// fixture holding both.
#pragma once

#include "QtTestSupport.h"
#include "tests/qt/support/ViewPty.h"

#include "corvel/qt/TerminalView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QUrl>

#include <memory>
#include <string>
#include <vector>

namespace corvel::testing {

struct PointerDelegate : RecordingViewDelegate {
    std::vector<std::string> linkRequests;
    std::vector<std::string> titles;
    int bells = 0;
    void requestOpenLink(TerminalView& source, const std::string& link,
                         const std::map<std::string, std::string>& params) override
    {
        linkRequests.push_back(link);
        TerminalViewDelegate::requestOpenLink(source, link, params);
    }
    void setTerminalTitle(TerminalView&, const std::string& title) override { titles.push_back(title); }
    void bell(TerminalView&) override { ++bells; }
};

// A program on a pseudo-terminal whose delegate also records links, titles
// and bells.
using PointerPty = ViewPty<PointerDelegate>;

// A 640 x 300 view (or `frame`) with a recording delegate and a link opener
// that records what it is handed.
struct PointerFixture {
    explicit PointerFixture(QRect frame = QRect(0, 0, 640, 300)) : view(frame, testFont())
    {
        view.setTerminalDelegate(host);
        view.linkOpener = [this](const QUrl& url) {
            opened.push_back(url.toString().toStdString());
            return true;
        };
    }
    void feed(std::string_view text) { view.feed(text); }
    std::string take() { return std::exchange(host->sent, {}); }

    TerminalView view;
    std::shared_ptr<PointerDelegate> host = std::make_shared<PointerDelegate>();
    std::vector<std::string> opened;
};

// The text of screen row `row`, trailing blanks dropped.
inline std::string screenLine(TerminalView& view, int row)
{
    Buffer& buffer = view.getTerminal().displayBuffer();
    return view.getTerminal().translateBufferLineToString(buffer, buffer.yDisp() + row, 0, -1);
}

// Whether some screen row holds `text`.
inline bool screenHas(TerminalView& view, const std::string& text)
{
    for (int row = 0; row < view.getTerminal().rows(); ++row) {
        if (screenLine(view, row).find(text) != std::string::npos) return true;
    }
    return false;
}

// The centre of the cell at column `col`, screen row `row`.
inline QPointF cellCentre(TerminalView& view, int col, int row)
{
    const QSizeF cell = *view.cellDimension();
    return {(col + 0.5) * cell.width(), (row + 0.5) * cell.height()};
}

// One pointer event sent to the view as the window system would deliver it.
inline void pointer(TerminalView& view, QEvent::Type type, QPointF at, Qt::MouseButton button,
                    Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier, uint64_t timestamp = 0)
{
    QMouseEvent event(type, at, view.mapToGlobal(at), button, buttons, modifiers);
    event.setTimestamp(timestamp);
    QApplication::sendEvent(&view, &event);
}

// A click of the primary button: press (or the double-click event) and release.
inline void click(TerminalView& view, QPointF at, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                  uint64_t timestamp = 0, bool doubleClick = false)
{
    pointer(view, doubleClick ? QEvent::MouseButtonDblClick : QEvent::MouseButtonPress, at, Qt::LeftButton,
            Qt::LeftButton, modifiers, timestamp);
    pointer(view, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton, modifiers, timestamp + 1);
}

}  // namespace corvel::testing
