// Helpers of the view tests: the pinned font, a recording view delegate,
// event-loop pumping until a condition holds, and xdotool for the tests on a
// real X server.
#pragma once

#include "corvel/qt/TerminalView.h"
#include "corvel/qt/TerminalViewDelegate.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFont>
#include <QProcess>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

namespace corvel::testing {

// DejaVu Sans Mono, at 12 pixels unless a test needs another size.
inline QFont testFont(int pixelSize = 12)
{
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(pixelSize);
    return font;
}

struct RecordingViewDelegate : TerminalViewDelegate {
    std::string sent;
    std::vector<std::pair<int, int>> sizes;

    void sizeChanged(TerminalView&, int newCols, int newRows) override { sizes.emplace_back(newCols, newRows); }
    void setTerminalTitle(TerminalView&, const std::string&) override {}
    void hostCurrentDirectoryUpdate(TerminalView&, const std::optional<std::string>&) override {}
    void send(TerminalView&, std::span<const uint8_t> data) override { sent.append(data.begin(), data.end()); }
    void scrolled(TerminalView&, double) override {}
    void clipboardCopy(TerminalView&, std::span<const uint8_t>) override {}
};

// Processes events until `done` holds; the bound only guards against a hang
// (a machine busy with other work never reaches it).
inline bool pumpUntil(const std::function<bool()>& done, int boundMs = 120000)
{
    QDeadlineTimer deadline(boundMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

inline void feed(TerminalView& view, std::string_view text)
{
    view.getTerminal().feed(text);
}

// Runs xdotool with `arguments`; whether it succeeded.
inline bool runXdotool(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

// Gives the X input focus to `window` the way a user switching windows does.
inline bool focusWithXdotool(const QWidget& window)
{
    return runXdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(window.winId())});
}

}  // namespace corvel::testing
