#include "corvel/host/PseudoTerminalHelpers.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

using namespace corvel;

namespace {

// Reads the master until the child's side is closed (EIO) or 5 s pass.
std::string readAll(int fd)
{
    std::string out;
    char buf[4096];
    for (int idle = 0; idle < 50;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) == 0) {
            ++idle;
            continue;
        }
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

}  // namespace

TEST(PseudoTerminalHelpers, CStringArraysAreNullTerminatedCopies)
{
    auto empty = PseudoTerminalHelpers::allocateCStringArray({});
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->count(), 0u);
    EXPECT_EQ(empty->data()[0], nullptr);

    auto two = PseudoTerminalHelpers::allocateCStringArray({"a=1", ""});
    ASSERT_TRUE(two);
    ASSERT_EQ(two->count(), 2u);
    EXPECT_STREQ(two->data()[0], "a=1");
    EXPECT_STREQ(two->data()[1], "");
    EXPECT_EQ(two->data()[2], nullptr);
}

TEST(PseudoTerminalHelpers, ForkShowsTheGivenNameAndTheWindowSize)
{
    winsize size{};
    size.ws_row = 33;
    size.ws_col = 77;
    auto child = PseudoTerminalHelpers::fork(
        "/bin/sh", {"given-name", "-c", "echo \"$0\"; stty size"}, {"PATH=/usr/bin:/bin"},
        std::string("/"), size);
    ASSERT_TRUE(child);
    EXPECT_GT(child->pid, 0);
    // The master must not leak into children started later by this process.
    EXPECT_TRUE(::fcntl(child->masterFd, F_GETFD) & FD_CLOEXEC);

    const std::string out = readAll(child->masterFd);
    EXPECT_NE(out.find("given-name\r\n"), std::string::npos) << out;
    EXPECT_NE(out.find("33 77"), std::string::npos) << out;
    int status = -1;
    ::waitpid(child->pid, &status, 0);
    EXPECT_EQ(status, 0);

    size.ws_row = 40;
    EXPECT_EQ(PseudoTerminalHelpers::setWinSize(child->masterFd, size), 0);
    winsize back{};
    ASSERT_EQ(::ioctl(child->masterFd, TIOCGWINSZ, &back), 0);
    EXPECT_EQ(back.ws_row, 40);
    ::close(child->masterFd);
}

TEST(PseudoTerminalHelpers, AvailableBytesCountsWaitingInputAndFailsOnAClosedDescriptor)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], "hello", 5), 5);
    auto waiting = PseudoTerminalHelpers::availableBytes(fds[0]);
    EXPECT_EQ(waiting.status, 0);
    EXPECT_EQ(waiting.size, 5);
    ::close(fds[0]);
    ::close(fds[1]);

    auto closed = PseudoTerminalHelpers::availableBytes(fds[0]);
    EXPECT_EQ(closed.status, -1);
    EXPECT_EQ(closed.size, 0);
    EXPECT_EQ(PseudoTerminalHelpers::setWinSize(fds[0], winsize{}), -1);
}
