#include "corvel/host/LocalProcess.h"

#include "corvel/terminal/TerminalEnvironment.h"
#include "corvel/platform/Log.h"

#include "tests/corvel/support/MainQueueScope.h"
#include "tests/corvel/support/TempDir.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

using namespace corvel;
using corvel::testing::readFile;

namespace {

constexpr Nanos kSecond = 1'000'000'000;
const std::vector<std::string> kEnv = {"PATH=/usr/bin:/bin", "LANG=C"};

// Records what a process reports; used on the delegate queue only, except
// where a test reads it after that queue went idle.
class Recorder : public LocalProcessDelegate {
public:
    void processTerminated(LocalProcess& source, std::optional<int32_t> exitCode) override
    {
        std::lock_guard<std::mutex> guard(mutex);
        exits.push_back(exitCode.value_or(-1));
        outputAtExit = output.size();
        childfdAtExit = source.childfd();
        runningAtExit = source.running();
    }
    void inputNotWritten(std::span<const uint8_t> bytes) override
    {
        std::lock_guard<std::mutex> guard(mutex);
        unwritten.emplace_back(bytes.begin(), bytes.end());
        unwrittenBeforeExit = exits.empty();
    }
    void dataReceived(std::span<const uint8_t> slice) override
    {
        if (slowDown) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::lock_guard<std::mutex> guard(mutex);
        output.append(slice.begin(), slice.end());
        if (queue && !queue->isCurrent()) offQueue = true;
    }
    WindowSize getWindowSize() override { return size; }

    bool has(const std::string& text)
    {
        std::lock_guard<std::mutex> guard(mutex);
        return output.find(text) != std::string::npos;
    }
    size_t count(const std::string& text)
    {
        std::lock_guard<std::mutex> guard(mutex);
        size_t found = 0;
        for (size_t at = output.find(text); at != std::string::npos; at = output.find(text, at + 1)) ++found;
        return found;
    }
    size_t exitCount()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return exits.size();
    }

    std::mutex mutex;
    std::string output;
    std::vector<int32_t> exits;
    std::vector<std::string> unwritten;
    bool unwrittenBeforeExit = false;
    size_t outputAtExit = 0;
    int32_t childfdAtExit = 0;
    bool runningAtExit = true;
    bool slowDown = false;
    bool offQueue = false;
    DispatchQueue* queue = nullptr;
    WindowSize size{24, 80, 0, 0};
};

// A queue that refuses the next `refuseNext` blocks other threads post to
// run at once, as a queue without memory for them does (std::bad_alloc),
// and runs every other block on `inner`. One thread at a time posts from
// outside.
class RefusingQueue : public DispatchQueue {
public:
    explicit RefusingQueue(DispatchQueue& inner) : inner_(inner) {}
    using DispatchQueue::asyncAfter;
    void async(std::function<void()> block) override
    {
        refuse();
        inner_.async(std::move(block));
    }
    void asyncAfter(Nanos delay, std::function<void()> block) override { inner_.asyncAfter(delay, std::move(block)); }
    bool isCurrent() const override { return inner_.isCurrent(); }

    std::atomic<int> refuseNext{0};
    std::atomic<int> refused{0};

private:
    void refuse()
    {
        if (isCurrent() || refuseNext.load() <= 0) return;
        refuseNext.fetch_sub(1);
        refused.fetch_add(1);
        throw std::bad_alloc();
    }
    DispatchQueue& inner_;
};

// Makes `queue` the main queue for one scope.
struct MainQueueOverride {
    explicit MainQueueOverride(std::shared_ptr<DispatchQueue> queue) : previous(DispatchQueue::setMain(queue)) {}
    ~MainQueueOverride() { DispatchQueue::setMain(previous); }
    std::shared_ptr<DispatchQueue> previous;
};

class LocalProcessTest : public ::testing::Test {
protected:
    bool pumpUntil(const std::function<bool()>& done, Nanos timeout = 120 * kSecond)
    {
        return main_->runUntil(done, timeout);
    }
    static bool reaped(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }
    bool waitReaped(pid_t pid)
    {
        return pumpUntil([pid] { return reaped(pid); });
    }
    static std::span<const uint8_t> bytesOf(const std::string& text)
    {
        return std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }
    static void send(LocalProcess& p, const std::string& text) { p.send(bytesOf(text)); }
    // A child that reads nothing: it stops itself once its terminal is raw.
    bool startStoppedChild(LocalProcess& p, Recorder& rec)
    {
        p.startProcess("/bin/sh", {"-c", "stty raw -echo; echo STOPPING; kill -STOP $$"}, kEnv);
        return pumpUntil([&] { return rec.has("STOPPING"); });
    }

    corvel::testing::MainQueueScope scope_;
    std::shared_ptr<RunLoopQueue> main_ = scope_.queue;
    corvel::testing::TempDir temp_{"corvel-pty"};
    std::string dir_ = temp_.path;
};

std::string procField(pid_t pid, const std::string& file)
{
    return readFile("/proc/" + std::to_string(pid) + "/" + file);
}

// Descriptor number to what it refers to, for every descriptor `pid` holds.
std::map<std::string, std::string> descriptors(pid_t pid)
{
    std::map<std::string, std::string> out;
    const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            char target[256] = {};
            if (e->d_name[0] == '.') continue;
            const ssize_t n = ::readlink((dir + "/" + e->d_name).c_str(), target, sizeof target - 1);
            out[e->d_name] = std::string(target, static_cast<size_t>(std::max<ssize_t>(n, 0)));
        }
        ::closedir(d);
    }
    return out;
}

}  // namespace

TEST(TerminalEnvironment, NamesTheTerminalAndCopiesEachHostVariableOnce)
{
    const char* names[] = {"USER", "LC_CTYPE", "DISPLAY"};
    std::vector<std::optional<std::string>> saved;
    for (const char* name : names)
        saved.push_back(std::getenv(name) ? std::optional<std::string>(std::getenv(name)) : std::nullopt);
    ::setenv("USER", "someone", 1);
    ::setenv("LC_CTYPE", "ko_KR.UTF-8", 1);
    ::unsetenv("DISPLAY");
    const auto env = getEnvironmentVariables(std::nullopt, true);
    for (size_t i = 0; i < saved.size(); ++i) {
        if (saved[i]) ::setenv(names[i], saved[i]->c_str(), 1);
        else ::unsetenv(names[i]);
    }
    ASSERT_GE(env.size(), 3u);
    EXPECT_EQ(env[0], "TERM=xterm-256color");
    EXPECT_EQ(env[1], "COLORTERM=truecolor");
    EXPECT_EQ(env[2], "LANG=en_US.UTF-8");
    EXPECT_EQ(std::count(env.begin(), env.end(), "USER=someone"), 1);
    EXPECT_EQ(std::count(env.begin(), env.end(), "LC_CTYPE=ko_KR.UTF-8"), 1);
    for (const auto& entry : env) EXPECT_NE(entry.rfind("DISPLAY=", 0), 0u);

    const auto plain = getEnvironmentVariables(std::string("vt100"), false);
    EXPECT_EQ(plain[0], "TERM=vt100");
    EXPECT_EQ(plain[1], "LANG=en_US.UTF-8");
}

TEST_F(LocalProcessTest, BashRunsEchoesAndReportsItsExitStatus)
{
    auto rec = std::make_shared<Recorder>();
    LocalProcess process(rec);
    send(process, "dropped before the start\n");
    EXPECT_EQ(process.sendCount(), 0);

    process.startProcess("/bin/bash", {"--norc", "--noprofile", "-i"}, kEnv);
    ASSERT_TRUE(process.running());
    EXPECT_GE(process.childfd(), 0);
    EXPECT_GT(process.shellPid(), 0);
    // A second start while running is ignored.
    const pid_t pid = process.shellPid();
    process.startProcess("/bin/sh", {});
    EXPECT_EQ(process.shellPid(), pid);

    send(process, "echo hel''lo\n");
    ASSERT_TRUE(pumpUntil([&] { return rec->has("hello"); })) << rec->output;
    send(process, "exit 3\n");
    ASSERT_TRUE(pumpUntil([&] { return rec->exitCount() == 1; }));
    EXPECT_EQ(rec->exits[0], 3 << 8);  // the raw wait status
    EXPECT_FALSE(process.running());
    EXPECT_TRUE(waitReaped(pid));

    const int64_t sent = process.sendCount();
    send(process, "after the end\n");
    EXPECT_EQ(process.sendCount(), sent);
}

TEST_F(LocalProcessTest, ExecNameArgumentsDefaultEnvironmentAndMissingProgram)
{
    auto rec = std::make_shared<Recorder>();
    LocalProcess process(rec);
    EXPECT_TRUE(process.startProcess("/bin/sh", {"-c", "echo \"$0|$TERM|$COLORTERM|$LANG\""}, std::nullopt,
                                     std::string("zero")));
    ASSERT_TRUE(pumpUntil([&] { return rec->exitCount() == 1; }));
    EXPECT_NE(rec->output.find("zero|xterm-256color|truecolor|en_US.UTF-8"), std::string::npos)
        << rec->output;
    EXPECT_EQ(rec->exits[0], 0);

    // A program that is not there starts a child all the same, which ends.
    auto missing = std::make_shared<Recorder>();
    LocalProcess failed(missing);
    EXPECT_TRUE(failed.startProcess("/nonexistent/program", {}, kEnv));
    ASSERT_TRUE(pumpUntil([&] { return missing->exitCount() == 1; }));
    EXPECT_EQ(missing->exits[0], 127 << 8);
    // End of file was seen before the exit report.
    EXPECT_EQ(missing->childfdAtExit, -1);
    EXPECT_FALSE(missing->runningAtExit);

    // With no descriptor left to make a pseudo-terminal, a start says that
    // it made no child.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit none = saved;
    none.rlim_cur = 0;
    auto nothing = std::make_shared<Recorder>();
    LocalProcess refused(nothing);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
    const bool started = refused.startProcess("/bin/sh", {"-c", "exit 0"}, kEnv);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_FALSE(started);
    EXPECT_FALSE(refused.running());
}

TEST_F(LocalProcessTest, ExitIsReportedAfterAllOutputOnBothKindsOfQueue)
{
    // A consumer slower than the child: the exit must still come last.
    auto rec = std::make_shared<Recorder>();
    rec->slowDown = true;
    LocalProcess process(rec);
    process.startProcess("/bin/sh", {"-c", "head -c 3000000 /dev/zero; exit 4"}, kEnv);
    ASSERT_TRUE(pumpUntil([&] { return rec->exitCount() == 1; }, 120 * kSecond));
    EXPECT_EQ(rec->outputAtExit, 3000000u);
    EXPECT_EQ(rec->exits[0], 4 << 8);

    SerialQueue queue;
    auto other = std::make_shared<Recorder>();
    other->queue = &queue;
    LocalProcess onQueue(other, &queue);
    onQueue.startProcess("/bin/sh", {"-c", "head -c 500000 /dev/zero; exit 2"}, kEnv);
    const Nanos deadline = monotonicNanos() + 120 * kSecond;
    while (other->exitCount() == 0 && monotonicNanos() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    queue.sync([] {});
    ASSERT_EQ(other->exitCount(), 1u);
    EXPECT_EQ(other->outputAtExit, 500000u);
    EXPECT_EQ(other->exits[0], 2 << 8);
    EXPECT_FALSE(other->offQueue);
}

TEST_F(LocalProcessTest, AMegabytePasteArrivesIntact)
{
    std::string paste;
    for (int line = 0; paste.size() < (1u << 20); ++line) {
        for (int i = 0; i < 99; ++i) paste.push_back(static_cast<char>('a' + (line * 7 + i) % 26));
        paste.push_back('\n');
    }
    auto rec = std::make_shared<Recorder>();
    LocalProcess process(rec);
    const std::string file = dir_ + "/paste";
    // Echo stays on: the child's echo must be read while the paste is written.
    process.startProcess("/bin/sh", {"-c", "cat > '" + file + "'"}, kEnv);
    send(process, paste);
    send(process, "\x04");
    ASSERT_TRUE(pumpUntil([&] { return rec->exitCount() == 1; }, 120 * kSecond));
    EXPECT_EQ(process.total(), static_cast<int64_t>(paste.size() + 1));
    const std::string written = readFile(file);
    EXPECT_EQ(written.size(), paste.size());
    EXPECT_TRUE(written == paste);
}

TEST_F(LocalProcessTest, AnswersToAChildThatDoesNotReadAreBoundedButTypingIsNot)
{
    auto rec = std::make_shared<Recorder>();
    LocalProcess process(rec);
    const std::string file = dir_ + "/read";
    // The child stops itself before it reads anything; once continued it
    // copies all it was sent to a file.
    process.startProcess("/bin/sh", {"-c", "stty raw -echo; echo STOPPING; kill -STOP $$; exec cat > '" + file + "'"},
                         kEnv);
    ASSERT_TRUE(pumpUntil([&] { return rec->has("STOPPING"); }));

    log::Capture log;
    const std::string answer(64, 'r');
    const auto bytes = std::span(reinterpret_cast<const uint8_t*>(answer.data()), answer.size());
    size_t queued = 0;
    size_t dropped = 0;
    for (size_t i = 0; i < 2 * LocalProcess::sendQueueLimit / answer.size(); ++i)
        (process.sendReply(bytes) ? queued : dropped) += 1;
    EXPECT_GT(dropped, 0u);
    EXPECT_LE(process.queuedBytes(), LocalProcess::sendQueueLimit + answer.size());
    // One line for the lot, not one for each.
    const size_t lines = log.count("Dropping answers to a child that does not read them");
    EXPECT_GE(lines, 1u);
    EXPECT_LT(lines, dropped / 1000);

    // What the user types past the bound still waits its turn.
    send(process, "TYPED");
    ::kill(process.shellPid(), SIGCONT);
    const size_t expected = queued * answer.size() + 5;
    ASSERT_TRUE(pumpUntil([&] { return readFile(file).size() >= expected; }, 240 * kSecond));
    const std::string read = readFile(file);
    EXPECT_EQ(read.size(), expected);
    EXPECT_EQ(read.substr(read.size() - 5), "TYPED");
    EXPECT_EQ(process.queuedBytes(), 0u);
    process.terminate();
}

TEST_F(LocalProcessTest, AnswersLeftForAChildThatEndedGoWithOneLogLine)
{
    auto rec = std::make_shared<Recorder>();
    LocalProcess process(rec);
    ASSERT_TRUE(startStoppedChild(process, *rec));
    log::Capture log;
    const std::string answer(1024, 'r');
    const auto bytes = bytesOf(answer);
    // Answers until the queue refuses one, but never past twice its bound: a
    // queue without one fails here instead of growing until memory runs out.
    bool refused = false;
    for (size_t i = 0; i < 2 * LocalProcess::sendQueueLimit / answer.size() && !refused; ++i)
        refused = !process.sendReply(bytes);
    EXPECT_TRUE(refused) << "the queue took twice its bound";
    ::kill(process.shellPid(), SIGKILL);
    ASSERT_TRUE(pumpUntil([&] { return rec->exitCount() == 1; }));
    EXPECT_EQ(log.count("Error writing data to the child, errno="), 1u);
    EXPECT_EQ(process.queuedBytes(), 0u);
}

TEST_F(LocalProcessTest, TypingAChildNeverTookComesBackOnceWithoutItsAnswersAndReports)
{
    auto rec = std::make_shared<Recorder>();
    LocalProcess process(rec);
    ASSERT_TRUE(startStoppedChild(process, *rec));
    // More than its terminal takes, with answers and reports between the
    // typing; all of it waits behind the full terminal.
    std::string typed;
    for (int line = 0; typed.size() < (512u << 10); ++line) typed += "typed " + std::to_string(line) + "\n";
    send(process, typed);
    EXPECT_TRUE(process.sendReply(bytesOf("ANSWER")));
    EXPECT_TRUE(process.sendReport(bytesOf("REPORT")));
    send(process, "TAIL");
    typed += "TAIL";

    ::kill(process.shellPid(), SIGKILL);
    ASSERT_TRUE(pumpUntil([&] { return rec->exitCount() == 1; }));
    ASSERT_EQ(rec->unwritten.size(), 1u);
    EXPECT_TRUE(rec->unwrittenBeforeExit);
    const std::string& back = rec->unwritten[0];
    ASSERT_GE(back.size(), 4u);
    EXPECT_EQ(back, typed.substr(typed.size() - back.size()));
    // Exactly what the terminal did not take comes back.
    EXPECT_EQ(process.total(), static_cast<int64_t>(typed.size() - back.size()));
    EXPECT_FALSE(process.send(bytesOf("late")));
    EXPECT_EQ(process.queuedBytes(), 0u);
}

TEST_F(LocalProcessTest, LargeOutputArrivesCompleteWithBoundedBuffering)
{
    // The bytes' order and content are checked by the headless terminal's
    // large-output test, which reads through this class; here the buffering.
    const size_t size = 20'000'000;
    auto rec = std::make_shared<Recorder>();
    LocalProcess process(rec);
    process.startProcess("/bin/sh", {"-c", "stty raw -echo; head -c 20000000 /dev/zero"}, kEnv);

    // Without pumping the main queue, reading stops near the high-water mark:
    // the floor, since nothing was delivered to measure a rate by.
    const size_t limit = process.readAheadLimit();
    EXPECT_EQ(limit, LocalProcess::readAheadFloor);
    size_t peak = 0;
    const Nanos until = monotonicNanos() + 120 * kSecond;
    while (peak < limit && monotonicNanos() < until) {
        peak = std::max(peak, process.pendingBytes());
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    peak = std::max(peak, process.pendingBytes());
    EXPECT_GE(peak, limit);
    EXPECT_LE(peak, limit + LocalProcess::readSize);

    ASSERT_TRUE(pumpUntil([&] { return rec->exitCount() == 1; }, 240 * kSecond));
    EXPECT_EQ(rec->output.size(), size);
    EXPECT_EQ(process.pendingBytes(), 0u);
}

TEST_F(LocalProcessTest, TerminateAndDestructionHangUpTheChildAndReapIt)
{
    auto rec = std::make_shared<Recorder>();
    pid_t first;
    {
        LocalProcess process(rec);
        // An interactive shell ignores SIGTERM: it must go by the hang-up.
        process.startProcess("/bin/bash", {"--norc", "--noprofile", "-i"}, kEnv);
        first = process.shellPid();
        send(process, "echo ready\n");
        ASSERT_TRUE(pumpUntil([&] { return rec->has("ready"); }));
        process.terminate();
        EXPECT_FALSE(process.running());
        EXPECT_EQ(process.childfd(), -1);
        EXPECT_TRUE(waitReaped(first));
        process.terminate();  // once reaped, the pid is not signalled again

        // Destroying a running process hangs up its child as well.
        auto other = std::make_unique<LocalProcess>(rec);
        other->startProcess("/bin/cat", {}, kEnv);
        const pid_t second = other->shellPid();
        other.reset();
        EXPECT_TRUE(waitReaped(second));
    }
    main_->runFor(kSecond / 5);
    EXPECT_EQ(rec->exitCount(), 0u);
}

TEST_F(LocalProcessTest, ARestartIsNotDisturbedByThePreviousChild)
{
    auto rec = std::make_shared<Recorder>();
    LocalProcess process(rec);
    process.startProcess("/bin/sh", {"-c", "exec sleep 30"}, kEnv);
    const pid_t first = process.shellPid();
    process.terminate();
    process.startProcess("/bin/sh", {"-c", "read x; exit 6"}, kEnv);
    const pid_t second = process.shellPid();
    ASSERT_NE(first, second);
    // While a child runs, a start does nothing.
    EXPECT_FALSE(process.startProcess("/bin/sh", {"-c", "exit 9"}, kEnv));
    EXPECT_EQ(process.shellPid(), second);

    EXPECT_TRUE(waitReaped(first));
    main_->runFor(kSecond / 10);
    EXPECT_TRUE(process.running());
    EXPECT_EQ(rec->exitCount(), 0u);

    send(process, "\n");
    ASSERT_TRUE(pumpUntil([&] { return rec->exitCount() == 1; }));
    EXPECT_EQ(rec->exits[0], 6 << 8);
    main_->runFor(kSecond / 10);
    EXPECT_EQ(rec->exitCount(), 1u);
}

TEST_F(LocalProcessTest, ChildInheritsNoDescriptorsNoIgnoredSignalsAndNoMask)
{
    auto rec = std::make_shared<Recorder>();
    LocalProcess first(rec);
    first.startProcess("/bin/cat", {}, kEnv);
    EXPECT_TRUE(::fcntl(first.childfd(), F_GETFD) & FD_CLOEXEC);

    int stray[2];
    ASSERT_EQ(::pipe(stray), 0);  // not close-on-exec
    struct sigaction ignore {};
    struct sigaction previousPipe {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previousPipe);
    sigset_t usr1;
    sigset_t previousMask;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &usr1, &previousMask);

    LocalProcess second(rec);
    second.startProcess("/bin/cat", {}, kEnv);

    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    ::sigaction(SIGPIPE, &previousPipe, nullptr);
    ::close(stray[0]);
    ::close(stray[1]);

    // Until it has copied a line, a child may still hold what it closes
    // before exec, or what the loader opens after it. Each line arrives
    // twice: the terminal's echo and cat's copy.
    send(first, "one\n");
    send(second, "two\n");
    ASSERT_TRUE(pumpUntil([&] { return rec->count("one\r\n") == 2 && rec->count("two\r\n") == 2; }))
        << rec->output;
    std::set<std::string> terminals;
    for (pid_t each : {first.shellPid(), second.shellPid()}) {
        // Its own terminal on 0, 1 and 2, and nothing else: no stray pipe and
        // no descriptor of the other session.
        const auto fds = descriptors(each);
        ASSERT_EQ(fds.size(), 3u) << each;
        EXPECT_EQ(fds.at("0").rfind("/dev/pts/", 0), 0u) << fds.at("0");
        EXPECT_EQ(fds.at("1"), fds.at("0"));
        EXPECT_EQ(fds.at("2"), fds.at("0"));
        terminals.insert(fds.at("0"));
    }
    EXPECT_EQ(terminals.size(), 2u);
    const pid_t pid = second.shellPid();
    const std::string status = procField(pid, "status");
    EXPECT_NE(status.find("SigBlk:\t0000000000000000"), std::string::npos) << status;
    EXPECT_NE(status.find("SigIgn:\t0000000000000000"), std::string::npos) << status;
}

namespace {

// The niceness in a /proc stat line (its 19th field; the name in parentheses may hold spaces).
int statNiceness(const std::string& stat)
{
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 19; ++i) fields >> field;
    return std::stoi(field);
}

}  // namespace

TEST_F(LocalProcessTest, TheIoThreadYieldsToTheHostAndTheChildDoesNot)
{
    const int mine = statNiceness(readFile("/proc/self/task/" + std::to_string(::gettid()) + "/stat"));
    if (mine >= 19) GTEST_SKIP() << "already at the lowest priority";
    auto rec = std::make_shared<Recorder>();
    LocalProcess p(rec);
    p.startProcess("/bin/sh", {"-c", "echo ready; exec cat"}, kEnv);
    ASSERT_TRUE(pumpUntil([&] { return rec->has("ready"); }));
    EXPECT_EQ(statNiceness(procField(p.shellPid(), "stat")), mine);
    // Some thread of this process (this child's I/O thread, and those of
    // earlier tests' children that are still winding down) runs nicer.
    bool found = false;
    if (DIR* tasks = ::opendir("/proc/self/task")) {
        while (dirent* e = ::readdir(tasks)) {
            if (e->d_name[0] == '.') continue;
            const std::string stat = readFile(std::string("/proc/self/task/") + e->d_name + "/stat");
            if (!stat.empty() && statNiceness(stat) == std::min(mine + LocalProcess::ioThreadNiceness, 19)) found = true;
        }
        ::closedir(tasks);
    }
    EXPECT_TRUE(found);
}

TEST_F(LocalProcessTest, DebugTraceAndDumpsOfWhatIsRead)
{
    log::Capture capture;
    auto rec = std::make_shared<Recorder>();
    LocalProcess process(rec);
    process.setDebugIO(true);
    process.setHostLogging(dir_);
    process.startProcess("/bin/sh", {"-c", "read x; printf done"}, kEnv);
    send(process, "hi\n");
    ASSERT_TRUE(pumpUntil([&] { return rec->exitCount() == 1; }));
    EXPECT_TRUE(capture.contains("[SEND-0] Queuing data to client: [104, 105, 10] "));
    EXPECT_TRUE(capture.contains("[SEND-0] completed bytes=3"));
    EXPECT_TRUE(capture.contains("[READ] count="));
    EXPECT_EQ(process.totalRead(), static_cast<int64_t>(rec->output.size()));

    std::string dumped;
    for (int64_t i = 0; i < process.logFileCounter(); ++i)
        dumped += readFile(dir_ + "/log-" + std::to_string(i));
    EXPECT_EQ(dumped, rec->output);

    // A dump that cannot be written is reported and reading goes on.
    process.setHostLogging(dir_ + "/absent");
    process.startProcess("/bin/sh", {"-c", "printf x"}, kEnv);
    ASSERT_TRUE(pumpUntil([&] { return rec->exitCount() == 2; }));
    EXPECT_TRUE(capture.contains("Got error while logging data dump to " + dir_ + "/absent/log-"));
    EXPECT_EQ(rec->output.substr(rec->output.size() - 1), "x");
}

TEST_F(LocalProcessTest, ReadingPausesAtItsBoundHoldsTheChildBackAndResumesWithoutLosingAByte)
{
    // Numbered lines, so a block lost, doubled or out of order shows; far
    // more than the bound and the pseudo-terminal's own buffer hold together.
    std::string expected;
    for (int i = 1; i <= 400000; ++i) expected += std::to_string(i) + "\n";
    auto rec = std::make_shared<Recorder>();
    LocalProcess process(rec);
    process.startProcess("/bin/sh", {"-c", "stty raw -echo; exec seq 1 400000"}, kEnv);

    // The main queue is not pumped: reading stops at the bound and the
    // child, whose writes the full terminal blocks, cannot finish.
    const size_t limit = process.readAheadLimit();
    const Nanos until = monotonicNanos() + 120 * kSecond;
    while (process.pendingBytes() < limit && monotonicNanos() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GE(process.pendingBytes(), limit);
    EXPECT_LE(process.pendingBytes(), limit + LocalProcess::readSize);
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(process.shellPid()), &info, WEXITED | WNOHANG | WNOWAIT), 0);
    EXPECT_EQ(info.si_pid, 0) << "the child finished while reading was paused";
    EXPECT_TRUE(process.running());

    // Delivered, reading goes on until the child is done, and every byte came.
    ASSERT_TRUE(pumpUntil([&] { return rec->exitCount() == 1; }, 240 * kSecond));
    EXPECT_EQ(rec->exits[0], 0);
    EXPECT_EQ(rec->output.size(), expected.size());
    EXPECT_TRUE(rec->output == expected);
    EXPECT_EQ(process.pendingBytes(), 0u);
}

TEST_F(LocalProcessTest, WhatTheQueueHasNoRoomForIsHandedOverAgainInOrderOnBothKindsOfQueue)
{
    // Numbered lines, so a block lost, doubled or out of order shows.
    std::string expected;
    for (int i = 1; i <= 20000; ++i) expected += std::to_string(i) + "\n";
    SerialQueue serial;
    for (const bool onMain : {true, false}) {
        SCOPED_TRACE(onMain ? "main queue" : "serial queue");
        auto refusing = std::make_shared<RefusingQueue>(onMain ? static_cast<DispatchQueue&>(*main_) : serial);
        std::optional<MainQueueOverride> installed;
        if (onMain) installed.emplace(refusing);
        // The first post of each child is refused three times: the first
        // block read, or the exit report of a child that wrote nothing.
        const auto run = [&](const std::string& command) {
            auto rec = std::make_shared<Recorder>();
            LocalProcess process(rec, onMain ? nullptr : refusing.get());
            refusing->refuseNext = 3;
            process.startProcess("/bin/sh", {"-c", command}, kEnv);
            EXPECT_TRUE(pumpUntil([&] { return rec->exitCount() == 1; })) << command;
            if (!onMain) serial.sync([] {});
            return rec;
        };
        const auto rec = run("stty raw -echo; seq 1 20000; exit 5");
        EXPECT_EQ(rec->outputAtExit, expected.size());
        EXPECT_TRUE(rec->output == expected);
        EXPECT_EQ(rec->exits, std::vector<int32_t>{5 << 8});
        EXPECT_EQ(run("exit 7")->exits, std::vector<int32_t>{7 << 8});
        EXPECT_EQ(refusing->refused, 6);
    }

    // Typing a child never took comes back once, before the exit, though
    // the queue first refuses it.
    auto refusing = std::make_shared<RefusingQueue>(*main_);
    MainQueueOverride installed(refusing);
    auto rec = std::make_shared<Recorder>();
    LocalProcess process(rec);
    ASSERT_TRUE(startStoppedChild(process, *rec));
    const std::string typed((512u << 10), 't');  // more than its terminal takes
    send(process, typed);
    refusing->refuseNext = 3;
    ::kill(process.shellPid(), SIGKILL);
    ASSERT_TRUE(pumpUntil([&] { return rec->exitCount() == 1; }));
    EXPECT_EQ(refusing->refused, 3);
    ASSERT_EQ(rec->unwritten.size(), 1u);
    EXPECT_TRUE(rec->unwrittenBeforeExit);
    EXPECT_EQ(process.total() + static_cast<int64_t>(rec->unwritten[0].size()), static_cast<int64_t>(typed.size()));
}

TEST_F(LocalProcessTest, AChildWhoseOutputFindsNoRoomWaitsAndTerminateEndsTheWait)
{
    auto refusing = std::make_shared<RefusingQueue>(*main_);
    MainQueueOverride installed(refusing);
    auto rec = std::make_shared<Recorder>();
    LocalProcess process(rec);
    refusing->refuseNext = std::numeric_limits<int>::max();
    // More than the terminal and one read hold.
    process.startProcess("/bin/sh", {"-c", "stty raw -echo; exec seq 1 400000"}, kEnv);
    const pid_t pid = process.shellPid();
    ASSERT_TRUE(pumpUntil([&] { return refusing->refused >= 3; }));
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT), 0);
    EXPECT_EQ(info.si_pid, 0) << "the child finished while nothing was handed over";

    process.terminate();
    EXPECT_TRUE(waitReaped(pid));
    main_->runUntilIdle();
    EXPECT_EQ(rec->output, "");
    EXPECT_EQ(rec->exitCount(), 0u);
}
