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
#include "corvel/qt/QtMainQueue.h"
#include "tests/app/ui/support/UiTestSupport.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QPointer>
#include <QProcess>
#include <QWindow>

#include <xcb/xcb.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

using namespace tilebay;
namespace fs = std::filesystem;

namespace {

template <typename F>
bool waitFor(F done, int ms = 20000)
{
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

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

// Asks the window to close as a window manager's close button does.
void sendClose(const QString& windowId)
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    auto atom = [c](const char* name) {
        xcb_intern_atom_reply_t* reply =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(strlen(name)), name), nullptr);
        const xcb_atom_t a = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        free(reply);
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
    // A round trip before the connection goes: without it the message was seen
    // not to reach the application now and then.
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    xcb_disconnect(c);
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
// and a tmux socket folder of its own.
class LaunchX11 : public ::testing::Test {
protected:
    LaunchX11()
    {
        test::uiApp();
        previousMain_ = corvel::DispatchQueue::setMain(std::make_shared<corvel::QtMainQueue>());
        char pattern[] = "/tmp/tilebay-launch-XXXXXX";
        folder_ = mkdtemp(pattern);
        if (const char* home = getenv("HOME")) home_ = home;
        setenv("HOME", folder_.c_str(), 1);
        setenv("XDG_DATA_HOME", data().c_str(), 1);
        setenv("SHELL", "/bin/bash", 1);
        setenv("TMUX_TMPDIR", folder_.c_str(), 1);
        unsetenv("TMUX");
        fs::create_directories(data());
    }
    void SetUp() override
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "needs X";
    }
    ~LaunchX11() override
    {
        if (app_.state() != QProcess::NotRunning) {
            app_.kill();
            app_.waitForFinished(20000);
        }
        tmux({QStringLiteral("kill-server")});
        unsetenv("XDG_DATA_HOME");
        unsetenv("TMUX_TMPDIR");
        setenv("HOME", home_.c_str(), 1);
        std::error_code error;
        // An ending shell may still write its history meanwhile.
        for (int attempt = 0; attempt < 3 && fs::exists(folder_); ++attempt) fs::remove_all(folder_, error);
        // With no queue before, the Qt one stays: a later test of this process
        // finds its application's events and the shells' output on one loop.
        if (previousMain_) corvel::DispatchQueue::setMain(previousMain_);
    }

    fs::path data() const { return folder_ / "data"; }

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
        QString windowId;
        EXPECT_TRUE(waitFor([&] {
            windowId = lines(run(QStringLiteral("xdotool"),
                                 {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                                  QString::number(app_.processId()), QStringLiteral("--name"),
                                  QStringLiteral("^Cellwright$")}))
                           .value(0);
            return !windowId.isEmpty();
        }));
        return windowId;
    }
    // Closes the binary's window and waits for it to end; false when it did not end with status 0.
    bool closeBinary(const QString& windowId)
    {
        sendClose(windowId);
        if (app_.state() != QProcess::NotRunning && !app_.waitForFinished(20000)) return false;
        return app_.exitStatus() == QProcess::NormalExit && app_.exitCode() == 0;
    }

    fs::path folder_;
    std::string home_;
    std::shared_ptr<corvel::DispatchQueue> previousMain_;
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
    ASSERT_TRUE(waitFor([&] {
        return lines(run(QStringLiteral("xdotool"),
                         {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                          QString::number(getpid()), QStringLiteral("--name"), QStringLiteral("^Cellwright$")}))
            .contains(QString::number(window.winId()));
    }));
    QPointer<OnboardingSheet> guide;
    ASSERT_TRUE(waitFor([&] {
        guide = window.findChild<OnboardingSheet*>();
        return guide && guide->isVisible() && guide->windowHandle() && guide->windowHandle()->isExposed();
    }));
    EXPECT_EQ(order.events, (std::vector<std::string>{"window exposed", "guide shown"}));
    EXPECT_EQ(QApplication::activeModalWidget(), guide.data());
    test::saveShot(guide->grab().toImage(), QStringLiteral("guide-first-start"));

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
    fs::create_directories(data() / "Tilebay");
    std::ofstream(data() / "Tilebay" / "layout.json") << doc.encode().value();
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
