// Starting the application on a real X server (xvfb-run): the first start
// with an empty data folder, where the window is found by its name, the
// guide opens only once the window is mapped and nothing is written; and the
// real application closed while a cell runs in tmux, where the cell's tmux
// session lives on and the next start attaches to the same session again.
// tmux runs with its socket in the test's own folder (TMUX_TMPDIR). Every wait
// is for a condition; the bounds only guard against a hang.
#include "app/persistence/LayoutDoc.h"
#include "app/shell/MainWindow.h"
#include "app/shell/TilebayApp.h"
#include "app/ui/sheets/OnboardingSheet.h"
#include "tests/app/ui/support/X11AppFixture.h"
#include "tests/app/ui/support/XdotoolSupport.h"

#include <gtest/gtest.h>

#include <QPointer>
#include <QProcess>
#include <QWindow>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

using namespace tilebay;
using namespace tilebay::test;
namespace fs = std::filesystem;

namespace {

// A program's standard output once it ended with status 0, else none.
std::optional<QString> run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QStringList lines(const std::optional<QString>& text)
{
    return text.value_or(QString()).split(u'\n', Qt::SkipEmptyParts);
}

// The files and folders under `folder`, or none when it does not exist.
std::vector<fs::path> contents(const fs::path& folder)
{
    std::vector<fs::path> found;
    std::error_code error;
    if (!fs::exists(folder, error)) return found;
    for (const auto& entry : fs::recursive_directory_iterator(folder, error)) found.push_back(entry.path());
    return found;
}

// The parent of a process, from /proc.
pid_t parentOf(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // After the name in parentheses: the state, then the parent.
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    char state = 0;
    int parent = 0;
    return std::sscanf(text.c_str() + close + 1, " %c %d", &state, &parent) == 2 ? parent : 0;
}

// Records, in order, the main window's first exposure on screen and the
// guide sheet's first showing.
class StartOrder final : public QObject {
public:
    explicit StartOrder(QWidget& window) : window_(window) { qApp->installEventFilter(this); }
    ~StartOrder() override { qApp->removeEventFilter(this); }

    std::vector<std::string> events;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && watched == window_.windowHandle() &&
            window_.windowHandle()->isExposed())
            note("window exposed");
        if (event->type() == QEvent::Show && qobject_cast<OnboardingSheet*>(watched)) note("guide shown");
        return false;
    }

private:
    void note(const std::string& what)
    {
        if (std::find(events.begin(), events.end(), what) == events.end()) events.push_back(what);
    }
    QWidget& window_;
};

// The fixture: an empty data folder, bash as the login shell, a home folder
// and a tmux socket folder of its own; the application binary run as a child.
class LaunchX11 : public X11AppFixture {
protected:
    LaunchX11() { unsetenv("TMUX"); }
    ~LaunchX11() override
    {
        if (app_.state() != QProcess::NotRunning) {
            app_.kill();
            app_.waitForFinished(kHangGuardMs);
        }
        tmux({QStringLiteral("kill-server")});
    }

    // One tmux command on the server of this test's socket folder.
    std::optional<QString> tmux(const QStringList& arguments)
    {
        return run(QStringLiteral("tmux"), arguments);
    }

    // Starts the application binary and waits for its window, found by name.
    QString startBinary()
    {
        app_.setProcessChannelMode(QProcess::ForwardedChannels);
        app_.start(QStringLiteral(TILEBAY_BINARY), {});
        EXPECT_TRUE(app_.waitForStarted(20000));
        const QString windowId = windowOf(app_.processId(), QStringLiteral("Cellwright"));
        EXPECT_FALSE(windowId.isEmpty());
        return windowId;
    }
    // Closes the binary's window and waits for it to end; false when it did not end with status 0.
    bool closeBinary(const QString& windowId)
    {
        sendWindowClose(windowId);
        if (app_.state() != QProcess::NotRunning && !app_.waitForFinished(20000)) return false;
        return app_.exitStatus() == QProcess::NormalExit && app_.exitCode() == 0;
    }

    QProcess app_;
};

}  // namespace

TEST_F(LaunchX11, FirstStartShowsTheGuideOverTheMappedWindowAndWritesNothing)
{
    std::optional<TilebayApp> app;
    app.emplace(*qApp, TilebayApp::standardDependencies());
    MainWindow& window = app->window();
    window.winId();
    StartOrder order(window);
    // What start() does but for the hot key, which another test of this
    // process wants to find unregistered.
    window.show();
    window.raise();
    window.activateWindow();

    // Found by its name among the visible windows of this process.
    EXPECT_EQ(windowOf(getpid(), QStringLiteral("Cellwright")), QString::number(window.winId()));
    QPointer<OnboardingSheet> guide;
    ASSERT_TRUE(waitFor([&] {
        guide = window.findChild<OnboardingSheet*>();
        return guide && guide->isVisible() && guide->windowHandle() && guide->windowHandle()->isExposed();
    }));
    EXPECT_EQ(order.events, (std::vector<std::string>{"window exposed", "guide shown"}));
    EXPECT_EQ(QApplication::activeModalWidget(), guide.data());
    saveShot(guide->grab().toImage(), QStringLiteral("guide-first-start"));

    // Nothing is written while the user has not acted, nor when the application goes.
    QCoreApplication::processEvents();
    EXPECT_TRUE(contents(data()).empty());
    app.reset();
    QCoreApplication::processEvents();
    EXPECT_TRUE(contents(data()).empty()) << contents(data()).front();
}

TEST_F(LaunchX11, ClosedWindowLeavesTheTmuxSessionAndTheNextStartAttachesToIt)
{
    if (!fs::exists("/usr/bin/tmux")) GTEST_SKIP() << "tmux is not installed";
    // One saved cell, with tmux keeping terminals.
    LayoutDoc doc;
    doc.tmuxPersistence = true;
    CellRecord record;
    record.internalId = "tmuxKeptCell1";
    record.adapterKind = AdapterKind::embedded;
    record.projectLabel = "kept";
    doc.cells.push_back(record);
    writeLayout(doc.encode().value());
    const QString session = QStringLiteral("cwr_tmuxKeptCell1");

    QString windowId = startBinary();
    ASSERT_FALSE(windowId.isEmpty());
    // The cell's session, its shell, and the application's client on it.
    QString shell;
    ASSERT_TRUE(waitFor([&] {
        shell = tmux({QStringLiteral("display-message"), QStringLiteral("-p"), QStringLiteral("-t"), session,
                      QStringLiteral("#{pane_pid}")})
                    .value_or(QString());
        return !shell.isEmpty();
    }));
    auto clientsOf = [&](const QProcess& app) {
        int count = 0;
        for (const QString& pid : lines(tmux({QStringLiteral("list-clients"), QStringLiteral("-t"), session,
                                              QStringLiteral("-F"), QStringLiteral("#{client_pid}")})))
            count += parentOf(pid.toInt()) == app.processId() ? 1 : 0;
        return count;
    };
    ASSERT_TRUE(waitFor([&] { return clientsOf(app_) == 1; }));

    ASSERT_TRUE(closeBinary(windowId));
    // The session and its shell live on, with no client now.
    EXPECT_TRUE(tmux({QStringLiteral("has-session"), QStringLiteral("-t"), session}).has_value());
    EXPECT_EQ(kill(shell.toInt(), 0), 0) << "the shell " << shell.toStdString() << " ended";
    EXPECT_TRUE(waitFor([&] {
        return lines(tmux({QStringLiteral("list-clients"), QStringLiteral("-t"), session})).isEmpty();
    }));

    // The next start attaches to that same session: same shell, one session.
    windowId = startBinary();
    ASSERT_FALSE(windowId.isEmpty());
    EXPECT_TRUE(waitFor([&] { return clientsOf(app_) == 1; }));
    EXPECT_EQ(tmux({QStringLiteral("display-message"), QStringLiteral("-p"), QStringLiteral("-t"), session,
                    QStringLiteral("#{pane_pid}")}),
              shell);
    EXPECT_EQ(lines(tmux({QStringLiteral("list-sessions"), QStringLiteral("-F"), QStringLiteral("#{session_name}")})),
              QStringList{session});
    EXPECT_TRUE(closeBinary(windowId));
}
