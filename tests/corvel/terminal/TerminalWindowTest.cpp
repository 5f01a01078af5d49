// Window requests as the host sees them: the commands offered, the host's own
// replies and cell size, and a terminal without a host.
#include "corvel/terminal/Terminal.h"
#include "corvel/platform/Log.h"

#include "tests/corvel/support/TestHost.h"

#include <gtest/gtest.h>

using namespace corvel;
using corvel::testing::TestHost;

namespace {

using Kind = WindowManipulationCommand::Kind;

TEST(WindowRequests, CommandsOfferedToTheHost)
{
    auto host = std::make_shared<TestHost>();
    Terminal terminal(host, corvel::testing::sized(80, 24));
    host->windowAnswer = std::vector<uint8_t>{'x'};
    terminal.feed("\e[8;30;100t\e[4;600;800t\e[3;10;20t\e[1t\e[9;2t\e[10;1t\e[8;30t");
    using C = WindowManipulationCommand;
    EXPECT_EQ(host->offered, (std::vector<C>{C::resizeTerminal(100, 30), C::resizeWindowTo(800, 600),
                                             C::moveWindowTo(10, 20), C::plain(Kind::deiconifyWindow),
                                             C::plain(Kind::maximizeWindowVertically),
                                             C::plain(Kind::switchToFullScreen)}));
    EXPECT_TRUE(host->sent.empty()) << "the host's replies to these requests are ignored";
}

TEST(WindowRequests, SizeReportsUseTheHostsAnswerOrCellSize)
{
    auto host = std::make_shared<TestHost>();
    Terminal terminal(host, corvel::testing::sized(80, 24));
    host->cell = TerminalDelegate::CellSize{9, 18};
    terminal.feed("\e[14t\e[16t");
    host->windowAnswer = std::vector<uint8_t>{'o', 'k'};
    terminal.feed("\e[14t");
    host->windowAnswer = std::vector<uint8_t>{};
    terminal.feed("\e[19t");
    EXPECT_EQ(host->sent, (std::vector<std::string>{"\e[4;432;720t", "\e[6;18;9t", "ok", ""}));
    EXPECT_EQ(host->offered.back(), WindowManipulationCommand::plain(Kind::reportScreenSizeCharacters));
}

TEST(WindowRequests, WithoutAHostNothingHappens)
{
    auto host = std::make_shared<TestHost>();
    Terminal terminal(host);
    host.reset();
    terminal.silentLog = false;
    log::Capture capture;
    terminal.feed("\e[22;0t\e[99t");
    EXPECT_TRUE(terminal.terminalTitleStack.empty());
    EXPECT_TRUE(terminal.terminalIconStack.empty());
    EXPECT_TRUE(capture.lines().empty());
}

}  // namespace
