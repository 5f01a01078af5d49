// Helpers of the tests that run under a real X server (xvfb-run): waiting
// for a condition while the event loop turns, and xdotool runs (keys, typing,
// pointer moves to a point of a widget). Every wait is for a condition; the
// bound only guards against a hang. GUI thread only.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>
#include <QWidget>

#include <functional>

namespace tilebay::test {

constexpr int kHangGuardMs = 20000;

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

}  // namespace tilebay::test
