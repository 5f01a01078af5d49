// The descriptor helpers of the pseudo-terminal host on plain pipes; forking
// a child on a pseudo-terminal is covered through LocalProcess.
#include "corvel/host/PseudoTerminalHelpers.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace corvel;

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
