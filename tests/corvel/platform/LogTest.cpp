#include "corvel/platform/Log.h"
#include "corvel/platform/Trace.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

using namespace corvel;

TEST(Log, CaptureCollectsLinesAndRestoresThePreviousSink)
{
    std::vector<std::string> outer;
    auto old = log::setSink([&](std::string_view l) { outer.emplace_back(l); });
    {
        log::Capture capture;
        log::write("Info: one");
        log::write("two");
        EXPECT_EQ(capture.lines(), (std::vector<std::string>{"Info: one", "two"}));
        EXPECT_TRUE(capture.contains("one"));
        EXPECT_EQ(capture.count("o"), 2u);
    }
    log::write("three");
    EXPECT_EQ(outer, (std::vector<std::string>{"three"}));
    log::setSink(std::move(old));
}

// Text from outside (a file's names, a program's output) in a line reaches
// the terminal that shows the log only as escapes: no control character, no
// byte of ill-formed UTF-8, and a backslash doubled so that an escape in the
// text cannot pass for one made here.
TEST(Log, ControlsAndIllFormedUtf8AreEscaped)
{
    const std::pair<std::string, std::string> cases[] = {
        {"\x1b]0;title\x07\x1b[2J\x1bP+q\x1b\\", "\\x1B]0;title\\x07\\x1B[2J\\x1BP+q\\x1B\\\\"},
        {"one\r\ntwo\tthree\x7f" + std::string(1, '\0'), "one\\r\\ntwo\\tthree\\x7F\\x00"},
        // C1 controls, encoded and as a lone byte; U+00A0 and é are text.
        {"\xc2\x9b" "31m \xc2\x80 \xc2\xa0 \xc3\xa9", "\\xC2\\x9B31m \\xC2\\x80 \xc2\xa0 \xc3\xa9"},
        {"lone \x9b" "1m", "lone \\x9B1m"},
        // The last control of each range, and the first character past it.
        {"\x1f\x20\xc2\x9f\xc2\xa0", "\\x1F \\xC2\\x9F\xc2\xa0"},
        // A truncated sequence, an overlong one, a surrogate.
        {"cut \xed\x95", "cut \\xED\\x95"},
        {"\xc0\xaf \xed\xa0\x80", "\\xC0\\xAF \\xED\\xA0\\x80"},
        {"C:\\dir\\x41", "C:\\\\dir\\\\x41"},
        {"cell \"문서 폴더\" ~/한국어", "cell \"문서 폴더\" ~/한국어"},
    };
    for (const auto& [line, escaped] : cases) EXPECT_EQ(log::escapedLine(line), escaped) << line;

    log::Capture capture;
    log::write("Tilebay: unknown DCS \x1bP$q\x1b[8m\x07 in \\tmp\n");
    EXPECT_EQ(capture.lines(),
              std::vector<std::string>{"Tilebay: unknown DCS \\x1BP$q\\x1B[8m\\x07 in \\\\tmp\\n"});
}

// Standard output redirected to a file or a pipe is fully buffered: a line
// must reach it when written, not when the process exits normally. The child
// writes one line into a pipe and ends without flushing anything (as a crash
// or a kill would end it); the line must be in the pipe all the same.
TEST(Log, LineOnRedirectedStandardOutputArrivesBeforeTheProcessEnds)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::fflush(stdout);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[1]);
        std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
        log::write("Tilebay: one line");
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string received;
    char buffer[256];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0) break;
        received.append(buffer, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(received, "Tilebay: one line\n");
}

TEST(Trace, RecordsOnlyWhileEnabled)
{
    const bool was = trace::enabled();
    trace::setEnabled(false);
    trace::clearEvents();
    { trace::Scope s("off"); }
    EXPECT_TRUE(trace::recentEvents().empty());
    trace::setEnabled(true);
    { trace::Scope s("Parser.Parse"); }
    auto events = trace::recentEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(events[0].begin);
    EXPECT_FALSE(events[1].begin);
    EXPECT_LE(events[0].nanos, events[1].nanos);
    trace::setEnabled(was);
    trace::clearEvents();
}
