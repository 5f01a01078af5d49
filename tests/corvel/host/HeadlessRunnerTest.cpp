// The corvel-headless runner with real programs: its screen output, exit
// statuses, script steps, option errors and feed mode; a picture it has no
// room to keep, and one it has no room to decode; and vim, less and tmux run
// through it showing the same screen text and cursor as a tmux pane of the
// same size shows for the same program and keys.
#include "corvel/terminal/Terminal.h"

#include "tests/corvel/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

using namespace corvel;
using corvel::testing::readFile;
using corvel::testing::writeFile;

namespace {

const std::string kRunner = CORVEL_BINARY_DIR "/corvel-headless";
const std::string kEnv = "env -u TMUX -u LESS -u LESSOPEN -u LESSCLOSE TERM=xterm-256color LANG=en_US.UTF-8 ";

std::string quote(const std::string& text)
{
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a shell command line in `dir`, collecting its output.
Result shell(const std::string& dir, const std::string& command)
{
    Result r;
    const std::string errPath = dir + "/stderr";
    FILE* pipe = ::popen(("cd " + quote(dir) + " && " + command + " 2>" + quote(errPath)).c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, n);
    const int status = ::pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = readFile(errPath);
    return r;
}

// Lines without trailing blanks, blank lines at the end dropped.
std::vector<std::string> normalized(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && line.back() == ' ') line.pop_back();
        lines.push_back(line);
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

// One step typed into, or awaited from, both terminals.
struct Step {
    enum class Kind { send, expect };
    Kind kind;
    std::string text;
};

class HeadlessRunnerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        struct stat info {};
        ASSERT_EQ(::stat(kRunner.c_str(), &info), 0) << "build the corvel-headless target: " << kRunner;
        socket_ = "corvel-test-" + std::to_string(::getpid());
    }
    void TearDown() override
    {
        for (const char* suffix : {"", "-inner1", "-inner2"})
            shell(dir_, "tmux -L " + socket_ + suffix + " kill-server");
    }

    Result runner(const std::string& arguments) { return shell(dir_, kEnv + quote(kRunner) + " " + arguments); }

    // The runner on three rows with one malloc arena, so that threads
    // reserve none of their own, and a time limit that only guards against
    // a hang (on a busy machine the thread that reads the program's output,
    // which yields to others, may take many seconds over megabytes); its
    // command follows.
    static std::string oneArenaRunner()
    {
        return "env MALLOC_ARENA_MAX=1 " + kEnv + quote(kRunner) + " --rows 3 --timeout 120 -- ";
    }
    // The runner's peak address space while its command runs, in KiB (0
    // when it could not be read).
    size_t runnerPeakKiB()
    {
        const Result probe = shell(dir_, oneArenaRunner() + "sh -c 'grep VmPeak /proc/$PPID/status'");
        const size_t at = probe.out.find("VmPeak:");
        if (probe.status != 0 || at == std::string::npos) return 0;
        return std::stoull(probe.out.substr(at + 7));
    }

    std::string tmux(const std::string& arguments)
    {
        return shell(dir_, "tmux -L " + socket_ + " " + arguments).out;
    }

    // Waits until the pane shows `text` and has not changed for a moment.
    std::string tmuxSettled(const std::string& text)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        std::string last;
        int stable = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            std::string now = tmux("capture-pane -p -t cmp");
            stable = now == last && now.find(text) != std::string::npos ? stable + 1 : 0;
            if (stable == 3) return now;
            last = std::move(now);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return last;
    }

    // Runs `program` (a shell command line) once in an 80 x 24 tmux pane and
    // once through the runner, with the same steps, and compares the screens
    // and cursors. `quit`, typed into the pane afterwards, ends the program.
    void compareWithTmux(const std::string& program, const std::vector<Step>& steps, const std::string& quit = "")
    {
        tmux("-f /dev/null start-server \\; set-option -g status off \\; new-session -d -x 80 -y 24 -s cmp -c " +
             quote(dir_) + " " + quote(kEnv + program));
        std::string script;
        std::string tmuxScreen;
        auto escape = [](const std::string& text, const char* prefix) {
            std::string out;
            for (unsigned char c : text) {
                char pair[8];
                std::snprintf(pair, sizeof pair, "%02x", c);
                out += prefix + std::string(pair);
            }
            return out;
        };
        for (const Step& step : steps) {
            const std::string hex = escape(step.text, " ");
            const std::string escaped = escape(step.text, "\\x");
            if (step.kind == Step::Kind::send) {
                tmux("send-keys -t cmp -H" + hex);
                script += "send " + escaped + "\n";
            } else {
                tmuxScreen = tmuxSettled(step.text);
                ASSERT_NE(tmuxScreen.find(step.text), std::string::npos) << "tmux never showed " << step.text;
                // The runner waits until it shows every row the pane settled on
                // (rather than for a while): the comparison below then sees the
                // screens at the same point of the program's drawing.
                script += "expect " + escaped + "\n";
                for (const std::string& row : normalized(tmuxScreen))
                    if (!row.empty()) script += "expect " + escape(row, "\\x") + "\n";
            }
        }
        const std::string tmuxCursor = tmux("display -p -t cmp '#{cursor_x},#{cursor_y}'");
        // The runner then waits for the cursor the pane settled on: a
        // program may move it in a write after its last row.
        std::string cursorStep = normalized(tmuxCursor).at(0);
        std::replace(cursorStep.begin(), cursorStep.end(), ',', ' ');
        script += "cursor " + cursorStep + "\n";
        // The program ends before its second run (vim would find its swap file).
        if (!quit.empty()) {
            tmux("send-keys -t cmp -l " + quote(quit));
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
            while (shell(dir_, "tmux -L " + socket_ + " has-session -t cmp").status == 0 &&
                   std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        tmux("kill-server");
        writeFile(dir_ + "/steps", script);

        const Result r = runner("--cols 80 --rows 24 --timeout 120 --cursor --script steps -- sh -c " + quote(program));
        ASSERT_EQ(r.status, 0) << r.err << r.out;
        std::vector<std::string> screen = normalized(r.out);
        ASSERT_FALSE(screen.empty());
        const std::string cursor = screen.back();
        screen.pop_back();
        const auto expected = normalized(tmuxScreen);
        EXPECT_EQ(screen, expected);
        EXPECT_EQ(cursor, "cursor: " + normalized(tmuxCursor).at(0));
    }

    corvel::testing::TempDir temp_{"corvel-runner"};
    std::string dir_ = temp_.path;
    std::string socket_;
};

std::string numberedLines(int count)
{
    std::string text;
    for (int i = 1; i <= count; ++i) text += "line " + std::to_string(i) + " of the file\n";
    return text;
}

}  // namespace

TEST_F(HeadlessRunnerTest, PrintsTheScreenCursorAndTheCommandsExitStatus)
{
    Result r = runner("--cols 100 --rows 30 -- stty size");
    EXPECT_EQ(r.status, 0) << r.err;
    auto lines = normalized(r.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "30 100");
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 30);

    r = runner("--rows 6 --cursor -- printf 'ab\\033[5;10Hx'");
    EXPECT_EQ(r.out, "ab\n\n\n\n         x\n\ncursor: 10,4\n");

    r = runner("-- sh -c 'printf abc; exit 3'");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(normalized(r.out), std::vector<std::string>{"abc"});
    r = runner("corvel-no-such-program");
    EXPECT_EQ(r.status, 127);
    EXPECT_NE(r.err.find("corvel-no-such-program: not found"), std::string::npos) << r.err;

    // Without a script the runner waits for the end, within the timeout.
    r = runner("--timeout 0.3 -- sleep 30");
    EXPECT_EQ(r.status, 124);
    EXPECT_NE(r.err.find("still runs after 0.3 s"), std::string::npos) << r.err;
}

TEST_F(HeadlessRunnerTest, ScriptTypesWaitsExpectsAndResizes)
{
    // The resize waits for the prompt after the first answer: bash writes
    // back the window size it read when a command ends, and would undo a
    // resize made in between.
    writeFile(dir_ + "/steps",
              "# a comment, then a blank line\n\n"
              "expect $\n"
              "send \"stty size\\r\"\n"
              "expect 10 40\\n$\n"
              "resize 50 12\n"
              "send stty size; printf '<%s>\\\\n' done\\r\n"
              "expect <done>\n"
              "wait 0.05\n");
    Result r = runner("--cols 40 --rows 10 --script steps -- env PS1='$ ' bash --norc --noprofile -i");
    EXPECT_EQ(r.status, 0) << r.err;
    const auto lines = normalized(r.out);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "10 40"), lines.end()) << r.out;
    EXPECT_NE(std::find(lines.begin(), lines.end(), "12 50"), lines.end()) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 12);

    // An expect that never comes: the screen is still printed, the status
    // says so. The limit leaves the echo of what was typed time to show on
    // a busy machine.
    writeFile(dir_ + "/steps", "send echo visible\\n\nexpect never shown\n");
    r = runner("--rows 3 --timeout 5 --script steps -- sh");
    EXPECT_EQ(r.status, 124);
    EXPECT_NE(r.out.find("visible"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("expect timed out after 5 s: never shown"), std::string::npos) << r.err;

    // A cursor step waits until the program's output has put the cursor
    // there; one that it never reaches times out and says where it is.
    writeFile(dir_ + "/steps", "cursor 3 0\n");
    r = runner("--rows 3 --cursor --timeout 120 --script steps -- sh -c 'printf abc; exec cat'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(normalized(r.out), (std::vector<std::string>{"abc", "", "", "cursor: 3,0"})) << r.out;
    writeFile(dir_ + "/steps", "cursor 5 2\n");
    r = runner("--rows 3 --timeout 1 --script steps -- sh -c 'exec cat'");
    EXPECT_EQ(r.status, 124);
    EXPECT_NE(r.err.find("cursor timed out after 1 s: 5 2 (it is at 0 0)"), std::string::npos) << r.err;
}

TEST_F(HeadlessRunnerTest, ATrustedCommandMayResizeTheTerminal)
{
    // The position report comes back after the resize request was handled;
    // echo is off before it is asked for, so the reply is never shown.
    const std::string program =
        "bash --norc --noprofile -c " +
        quote("stty -echo; printf '\\033[8;12;50t\\033[6n'; IFS= read -r -d R r; stty size");
    Result r = runner("--trust --cols 40 --rows 10 -- " + program);
    EXPECT_EQ(r.status, 0) << r.err;
    auto lines = normalized(r.out);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "12 50"), lines.end()) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 12);

    r = runner("--cols 40 --rows 10 -- " + program);
    EXPECT_EQ(r.status, 0) << r.err;
    lines = normalized(r.out);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "10 40"), lines.end()) << r.out;
}

TEST_F(HeadlessRunnerTest, RejectsBadOptionsAndScriptsClearly)
{
    writeFile(dir_ + "/steps", "wait 1\njump 3\n");
    writeFile(dir_ + "/escape", "send a\\q\n");
    const std::pair<std::string, std::string> cases[] = {
        {"", "no command given"},
        {"--bogus sh", "unknown option '--bogus'"},
        {"--cols 1 sh", "--cols must be a whole number from 2 to 2000, not '1'"},
        {"--timeout=-1 sh", "--timeout must be a number of seconds above 0"},
        {"--rows", "--rows needs a value"},
        {"--script missing-file sh", "cannot read the script missing-file"},
        {"--script steps sh", "steps:2: unknown step 'jump'"},
        {"--script escape sh", "escape:1: unknown escape '\\q'"},
    };
    for (const auto& [arguments, message] : cases) {
        const Result r = runner(arguments);
        EXPECT_EQ(r.status, 2) << arguments;
        EXPECT_NE(r.err.find(message), std::string::npos) << arguments << ": " << r.err;
    }
}

TEST_F(HeadlessRunnerTest, FeedTimesTheEmulatorWithoutAChild)
{
    writeFile(dir_ + "/bytes", numberedLines(1000));
    const Result r = runner("--feed bytes");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("fed " + std::to_string(numberedLines(1000).size()) + " bytes in ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(" MB/s\n"), std::string::npos) << r.out;
    EXPECT_EQ(runner("--feed missing").status, 1);
}

TEST_F(HeadlessRunnerTest, APictureWithoutRoomForTheHostsCopyIsDroppedAndTheTextAfterItShows)
{
#ifdef CORVEL_SANITIZED
    GTEST_SKIP() << "a sanitizer's allocator ends the process when the room runs out";
#endif
    // A sixel of a few kilobytes that decodes to 5000 x 3000 pixels (60 MB),
    // within what the runner keeps of an image, then text.
    std::string picture = "\x1bPq#0;2;0;100;0#0!5000~";
    for (int band = 1; band < 500; ++band) picture += "-!5000~";
    writeFile(dir_ + "/picture", picture + "\x1b\\after the picture\r\n");

    // The runner's address space while its command runs, then a limit that
    // leaves room for the decoded bitmap but not for the host's copy of it.
    const std::string oneArena = oneArenaRunner();
    const size_t needKiB = runnerPeakKiB();
    ASSERT_GT(needKiB, 0u);
    const size_t limitKiB = needKiB + 90 * 1024;

    const Result r = shell(dir_, "ulimit -v " + std::to_string(limitKiB) + " && " + oneArena + "cat picture");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(normalized(r.out), std::vector<std::string>{"after the picture"}) << r.err;
}

TEST_F(HeadlessRunnerTest, AnInlineImageWithoutRoomToDecodeIsDroppedAndTheTextAfterItShows)
{
#ifdef CORVEL_SANITIZED
    GTEST_SKIP() << "a sanitizer's allocator ends the process when the room runs out";
#endif
    // An OSC 1337 image whose string fills 16 MiB. The parser drops a control
    // byte inside a string, and one at each power-of-two length of the
    // string makes its buffer grow by doubling from one byte, whatever pieces
    // the output is read in: the buffer ends at exactly 16 MiB, its last
    // growth holding 24 MiB for a moment. Decoding the image then takes 12
    // MiB beside the 16.
    constexpr size_t kString = size_t{16} << 20;
    std::string text = "1337;File=inline=1:";
    text.append((kString - text.size()) / 4 * 4, 'A');
    std::string picture = "\x1b]";
    for (size_t at = 0, end = 1; at < text.size(); at = end, end *= 2) {
        picture.append(text, at, end - at);
        if (end < text.size()) picture += '\x01';
    }
    writeFile(dir_ + "/picture", picture + "\a");
    // The program waits for the answer to a position report before it writes
    // on, so nothing is read while the image is decoded.
    writeFile(dir_ + "/show", "stty -echo; cat picture; printf '\\033[6n'; IFS= read -r -d R reply\n"
                              "printf 'after the picture\\r\\n'\n");

    const std::string oneArena = oneArenaRunner();
    const size_t needKiB = runnerPeakKiB();
    ASSERT_GT(needKiB, 0u);

    // Limits between the two needs, from 25.6 to 27.6 MiB above the runner's
    // own peak (the string needs 24, its decoding 28, each moving by up to
    // about a MiB with what else the runner holds at the time). What the
    // thread that reads the program's output holds while the string makes
    // its last growth depends on timing, so at the lower limits that growth,
    // or the copy of a block read meanwhile, may be refused instead of the
    // decoding: the string is then dropped as the image would be, or the
    // block waits until there is room to hand it over, and the outcome is
    // the same.
    for (int step = 0; step < 6; ++step) {
        const size_t limitKiB = needKiB + (kString >> 10) * (1600 + 25 * step) / 1000;
        const Result r = shell(dir_, "ulimit -v " + std::to_string(limitKiB) + " && " + oneArena + "bash show");
        EXPECT_EQ(r.status, 0) << "limit " << limitKiB << " KiB: " << r.err;
        EXPECT_EQ(normalized(r.out), std::vector<std::string>{"after the picture"}) << "limit " << limitKiB << " KiB";
    }
}

TEST_F(HeadlessRunnerTest, VimLessAndTmuxShowWhatATmuxPaneShows)
{
    using K = Step::Kind;
    writeFile(dir_ + "/file.txt", numberedLines(60));
    writeFile(dir_ + "/big.txt", numberedLines(200));
    // The inner tmux's socket differs between the two runs; the status line
    // shows no clock and a fixed window name.
    writeFile(dir_ + "/inner.sh",
              "n=$(cat inner-count 2>/dev/null || echo 0); n=$((n + 1)); echo $n > inner-count\n"
              "exec tmux -L " + socket_ + "-inner$n -f /dev/null new-session -s inner -n win "
              "'printf \"hello from the inner pane\\n\"; exec cat' \\; set-option -g status-right ''\n");
    compareWithTmux("vim -u NONE -i NONE -N file.txt",
                    {{K::expect, "60L"}, {K::send, ":set nu\r"}, {K::expect, ":set nu"}, {K::send, "45Gdd"},
                     {K::expect, " 45 line 46 of"}, {K::send, ":call append(44, 'inserted')\r"},
                     {K::expect, " 45 inserted"}},
                    ":qa!\r");
    compareWithTmux("less big.txt", {{K::expect, "big.txt"}, {K::send, " "}, {K::expect, "line 46 of"},
                                     {K::send, "/line 150\r"}, {K::expect, "line 172 of"}, {K::send, "k"},
                                     {K::expect, "line 149 of"}});
    compareWithTmux("sh inner.sh", {{K::expect, "hello from the inner pane"}, {K::send, "typed text\r"},
                                    {K::expect, "typed text\ntyped text"}});
}
