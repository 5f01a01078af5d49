#include "corvel/terminal/TerminalDelegate.h"
#include "corvel/terminal/TerminalOptions.h"

#include <gtest/gtest.h>

using namespace corvel;

namespace {

// A host that implements nothing but the one required callback.
class SendOnlyHost : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t> data) override { sent.insert(sent.end(), data.begin(), data.end()); }
    std::vector<uint8_t> sent;
};

}  // namespace

TEST(TerminalTypes, HostWithOnlySendGetsTheDefaults)
{
    SendOnlyHost host;
    // The defaults never look at the terminal, so any reference will do here.
    Terminal& terminal = *reinterpret_cast<Terminal*>(&host);
    TerminalDelegate& delegate = host;
    EXPECT_TRUE(delegate.isProcessTrusted(terminal));
    EXPECT_EQ(delegate.cellSizeInPixels(terminal), std::nullopt);
    EXPECT_EQ(delegate.windowCommand(terminal, WindowManipulationCommand::resizeTo(24)), std::nullopt);
}

TEST(TerminalTypes, CursorStylesWindowCommandsAndProgressStates)
{
    for (auto style : {CursorStyle::blinkBlock, CursorStyle::steadyBlock, CursorStyle::blinkUnderline,
                       CursorStyle::steadyUnderline, CursorStyle::blinkBar, CursorStyle::steadyBar}) {
        EXPECT_EQ(cursorStyleFrom(toString(style)), style);
    }
    EXPECT_EQ(cursorStyleFrom("BlinkBlock"), std::nullopt);
    EXPECT_EQ(cursorStyleFrom(""), std::nullopt);

    EXPECT_EQ(WindowManipulationCommand::resizeTo(24).kind, WindowManipulationCommand::Kind::resizeToLines);
    EXPECT_NE(WindowManipulationCommand::resizeTo(80, 24), WindowManipulationCommand::resizeTerminal(80, 24));
    EXPECT_EQ(progressReportStateFromRaw(4), ProgressReportState::pause);
    EXPECT_EQ(progressReportStateFromRaw(5), std::nullopt);
}
