// Helpers of the tests that run under a real X server (xvfb-run): waiting
// for a condition while the event loop turns, xdotool runs (keys, typing,
// pointer moves to a point of a widget, finding a process's window), and the
// close message a window manager's close button sends. Every wait is for a
// condition; the bound only guards against a hang. GUI thread only.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <functional>

namespace tilebay::test {

// Guards only against a hang, long enough that a machine busy with other
// work never reaches it.
constexpr int kHangGuardMs = 120000;

// Turns the event loop until `done` holds; false when the hang guard struck.
inline bool waitFor(const std::function<bool()>& done, int ms = kHangGuardMs)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Runs xdotool with `args`, keeping the event loop turning meanwhile; true
// when it ran and exited with status 0.
inline bool xdotool(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForStarted(kHangGuardMs)) return false;
    waitFor([&] { return p.state() == QProcess::NotRunning; });
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

inline bool key(const QString& keys) { return xdotool({QStringLiteral("key"), keys}); }

// xdotool arguments that move the pointer to `local` in `w`.
inline QStringList pointerTo(QWidget* w, QPoint local)
{
    const QPoint g = w->mapToGlobal(local);
    return {QStringLiteral("mousemove"), QString::number(g.x()), QString::number(g.y())};
}

// The first visible window of process `pid` named exactly `name`, waited
// for; empty when none showed before the hang guard struck.
inline QString windowOf(qint64 pid, const QString& name)
{
    QString id;
    waitFor([&] {
        QProcess search;
        search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                 QStringLiteral("--pid"), QString::number(pid),
                                                 QStringLiteral("--name"), QLatin1Char('^') + name + QLatin1Char('$')});
        search.waitForFinished(kHangGuardMs);
        id = QString::fromUtf8(search.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts).value(0);
        return !id.isEmpty();
    });
    return id;
}

// Asks the window to close as a window manager's close button does, on a
// connection of its own. A round trip follows the message, so the server has
// handled it before that connection goes.
inline void sendWindowClose(const QString& windowId)
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    auto atom = [c](const char* name) {
        xcb_intern_atom_reply_t* reply =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
        return a;
    };
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = windowId.toUInt();
    message.type = atom("WM_PROTOCOLS");
    message.data.data32[0] = atom("WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, message.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    xcb_disconnect(c);
}

}  // namespace tilebay::test
