// Shared pieces of the adapter tests: temporary folders, environment
// variables set for one test, a main queue the test pumps itself, the
// stand-in osascript on PATH and the stand-in helper interpreter under a
// temporary data folder, a look for zombie children of this process and for
// ended processes, a run of the real tmux, screen text read for wide
// characters, a key pressed in a widget, and the application's pane kit with
// each pane shown as soon as it is made.
#pragma once

#include "app/adapters/embedded/HookedPaneKit.h"
#include "app/adapters/embedded/PTYProcess.h"
#include "app/adapters/embedded/ShortCommand.h"
#include "corvel/platform/Dispatch.h"
#include "corvel/qt/TerminalView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QString>
#include <QWidget>

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace tilebay::testing {

namespace fs = std::filesystem;

// Guards only against a hang; tests wait for conditions, never for time.
// Long enough that a machine busy with other work never reaches it.
constexpr corvel::Nanos kHangGuard = 120'000'000'000;

inline std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::vector<std::string> readLines(const fs::path& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/tilebay-adapters-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        path_ = pattern;
    }
    ~TempDir()
    {
        // An ending shell may still write its history here meanwhile.
        std::error_code ec;
        for (int attempt = 0; attempt < 3 && fs::exists(path_, ec); ++attempt) fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Sets an environment variable for the object's life.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// Installs a main queue that the test pumps. The queue itself lives for the
// whole run: a worker thread that just handed a block to it may still be
// inside its async() when the test ends.
class MainQueuePump {
public:
    MainQueuePump() : queue_(sharedQueue()), previous_(corvel::DispatchQueue::setMain(queue_))
    {
        queue_->adoptCurrentThread();
    }
    ~MainQueuePump()
    {
        queue_->runUntilIdle();
        corvel::DispatchQueue::setMain(previous_);
    }

    // Starts `start` with a callback and pumps until it is called; no value
    // when it was not called before the hang guard.
    template <class T>
    std::optional<T> await(const std::function<void(std::function<void(T)>)>& start)
    {
        auto result = std::make_shared<std::optional<T>>();
        start([result](T value) { *result = std::move(value); });
        queue_->runUntil([&] { return result->has_value(); }, kHangGuard);
        return *result;
    }

    bool pumpUntil(const std::function<bool()>& done) { return queue_->runUntil(done, kHangGuard); }

private:
    static std::shared_ptr<corvel::RunLoopQueue> sharedQueue()
    {
        // Never destroyed, not even at exit.
        static const auto* queue = new std::shared_ptr<corvel::RunLoopQueue>(std::make_shared<corvel::RunLoopQueue>());
        return *queue;
    }

    std::shared_ptr<corvel::RunLoopQueue> queue_;
    std::shared_ptr<corvel::DispatchQueue> previous_;
};

// Children of this process that have ended but were not reaped.
inline std::vector<pid_t> zombieChildren()
{
    std::vector<pid_t> zombies;
    const pid_t self = getpid();
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        // A process may end while its file is read: getline then fails
        // quietly, where reading through the stream buffer would throw.
        std::ifstream file(entry.path() / "stat");
        std::string stat;
        if (!std::getline(file, stat)) continue;
        const size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(stat.substr(close + 2));
        char state = 0;
        pid_t parent = 0;
        rest >> state >> parent;
        if (parent == self && state == 'Z') zombies.push_back(std::stoi(name));
    }
    return zombies;
}

inline bool processGone(pid_t pid)
{
    return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

constexpr const char* kTmux = "/usr/bin/tmux";

// Runs the real tmux with `args`, outside any tmux the tests run in; its
// server is the one of TMUX_TMPDIR.
inline ShortCommandResult tmux(const std::vector<std::string>& args)
{
    std::vector<std::string> argv{"tmux"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env;
    for (const auto& [name, value] : PTYProcess::currentEnvironment())
        if (name != "TMUX" && name != "TMUX_PANE") env.push_back(name + "=" + value);
    return ShortCommand::run(kTmux, argv, env, kHangGuard);
}

// Ends the tmux server of TMUX_TMPDIR and waits (with the hang guard) until
// its socket takes no more connections: true when it takes none. Until then
// the ending server still takes them, and a client that reaches it is told
// that the server exited instead of starting a new one. (tmux leaves the
// socket's file behind.)
inline bool killTmuxServer()
{
    const char* folder = std::getenv("TMUX_TMPDIR");
    const fs::path socket =
        fs::path(folder && *folder ? folder : "/tmp") / ("tmux-" + std::to_string(::getuid())) / "default";
    tmux({"kill-server"});
    const auto takesConnections = [&] {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socket.c_str(), sizeof(address.sun_path) - 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
        ::close(fd);
        return connected;
    };
    const corvel::Nanos until = corvel::monotonicNanos() + kHangGuard;
    while (takesConnections()) {
        if (corvel::monotonicNanos() > until) return false;
        usleep(2000);
    }
    return true;
}

// Waits (with the hang guard) until no child of this process is a zombie:
// true when that came about. Reaping may happen on another thread.
inline bool noZombiesEventually()
{
    const corvel::Nanos until = corvel::monotonicNanos() + kHangGuard;
    while (!zombieChildren().empty()) {
        if (corvel::monotonicNanos() > until) return false;
        usleep(2000);
    }
    return true;
}

inline void installExecutable(const fs::path& from, const fs::path& to)
{
    fs::create_directories(to.parent_path());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_all);
}

// The stand-in osascript in a folder of its own, first on PATH.
class FakeOsascript {
public:
    FakeOsascript() : path_("PATH", (dir_.path() / "bin").string() + ":" + currentPath())
    {
        installExecutable(TILEBAY_STANDIN_OSASCRIPT, bin() / "osascript");
    }
    fs::path bin() const { return dir_.path() / "bin"; }
    void setMode(const std::string& mode) { writeFile(bin() / "mode", mode); }
    void setReply(const std::string& reply) { writeFile(bin() / "reply", reply); }
    // Every script received so far, in order.
    std::vector<std::string> scripts() const
    {
        std::vector<std::string> found;
        for (int n = 1; fs::exists(bin() / ("script-" + std::to_string(n) + ".txt")); ++n)
            found.push_back(readFile(bin() / ("script-" + std::to_string(n) + ".txt")));
        return found;
    }

private:
    static std::string currentPath()
    {
        const char* p = std::getenv("PATH");
        return p ? p : "/usr/bin:/bin";
    }
    TempDir dir_;
    ScopedEnv path_;
};

// A temporary data folder holding the stand-in interpreter, and a resource
// folder per behaviour ("<root>/res/<mode>/iterm2_helper.py").
class FakeHelper {
public:
    FakeHelper() : data_("XDG_DATA_HOME", (dir_.path() / "data").string()) {}
    void installInterpreter()
    {
        installExecutable(TILEBAY_STANDIN_HELPER, dir_.path() / "data" / "Tilebay" / "venv" / "bin" / "python");
    }
    // The resource folder for `mode`, with a helper script in it.
    fs::path resources(const std::string& mode) const
    {
        const fs::path folder = dir_.path() / "res" / mode;
        if (!fs::exists(folder / "iterm2_helper.py")) writeFile(folder / "iterm2_helper.py", "# stand-in\n");
        return folder;
    }
    std::vector<std::string> requests(const std::string& mode) const { return readLines(resources(mode) / "requests.log"); }
    size_t launches(const std::string& mode) const { return readLines(resources(mode) / "launches.log").size(); }
    void setResult(const std::string& mode, const std::string& json) const
    {
        writeFile(resources(mode) / "result.json", json);
    }

private:
    TempDir dir_;
    ScopedEnv data_;
};

// Whether the screen text `screen` holds `text`, spaces ignored: a screen's
// text reads the second cell of each wide character as a space.
inline bool holdsIgnoringSpaces(QString screen, QString text)
{
    return screen.remove(QLatin1Char(' ')).contains(text.remove(QLatin1Char(' ')));
}

// A key pressed in `widget`, typing `text`.
inline void pressKey(QWidget& widget, Qt::Key key, const QString& text)
{
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(&widget, &event);
}

// Widgets need an application object; one lives for the rest of the run. It
// is never destroyed: destroying it from the exit handlers, after Qt's
// thread storage is gone, crashes the process once every test has passed.
inline void ensureApplication()
{
    if (QApplication::instance()) return;
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
}

// The application's own panes, each shown (laid out at the size it is made
// with) before the adapter starts its child, as the grid shows a pane: a
// tmux client, which waits for its pane to be laid out, starts at once.
class ShownPaneKit final : public EmbeddedPaneKit {
public:
    std::unique_ptr<EmbeddedPaneView> makePane(int width, int height) override
    {
        auto pane = kit_.makePane(width, height);
        pane->terminalView().show();
        return pane;
    }
    QWidget* makeLayout(const std::vector<EmbeddedPaneView*>& panes, Axis axis) override
    {
        return kit_.makeLayout(panes, axis);
    }

private:
    HookedPaneKit kit_;
};

}  // namespace tilebay::testing
