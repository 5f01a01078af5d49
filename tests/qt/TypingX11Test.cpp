// Typing on a real X server (run under xvfb-run): xdotool presses keys in a
// window holding a LocalProcessTerminalView, and the program in it — a shell,
// or `cat -v` showing every byte it reads — receives the bytes of the
// classic encoding, the application cursor keys and the Kitty keyboard
// protocol, modifier releases included.
#include "ProcessViewSupport.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

namespace corvel {
namespace {

using testing::makeProcessView;
using testing::focusWithXdotool;
using testing::pumpUntil;
using testing::runXdotool;
using testing::waitForText;

bool key(const QString& keys)
{
    return runXdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), keys});
}

struct TypingX11 : ::testing::Test {
    std::unique_ptr<LocalProcessTerminalView> view;

    void SetUp() override
    {
        if (QGuiApplication::platformName() != QStringLiteral("xcb")) GTEST_SKIP() << "needs an X server";
        view = makeProcessView(80, 24);
        ASSERT_TRUE(pumpUntil([&] { return view->isVisible(); }));
        view->setFocus();
        ASSERT_TRUE(focusWithXdotool(*view));
        ASSERT_TRUE(pumpUntil([&] { return view->hasFocus(); }));
    }
    void TearDown() override
    {
        if (view) view->terminate();
    }
    // `cat -v` after `setup`, with the line discipline passing every byte at once.
    void startCat(const std::string& setup)
    {
        view->startProcess("/bin/sh", {"-c", setup + " stty -echo -icanon -ixon; printf 'READY\\n'; exec cat -v"});
        ASSERT_TRUE(waitForText(*view, "READY"));
    }
};

TEST_F(TypingX11, TypedCommandRunsInTheShell)
{
    view->startProcess("/bin/sh", {"-i"},
                       std::vector<std::string>{"TERM=xterm-256color", "PATH=/usr/bin:/bin", "PS1=prompt> "});
    ASSERT_TRUE(waitForText(*view, "prompt>"));
    ASSERT_TRUE(runXdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"),
                         QStringLiteral("echo hi")}));
    ASSERT_TRUE(key(QStringLiteral("Return")));
    EXPECT_TRUE(pumpUntil([&] { return testing::screenHasLine(*view, "hi"); }));
}

TEST_F(TypingX11, ClassicAndApplicationCursorKeysReachTheProgram)
{
    startCat("");
    ASSERT_TRUE(key(QStringLiteral("ctrl+a")));
    EXPECT_TRUE(waitForText(*view, "^A"));
    ASSERT_TRUE(key(QStringLiteral("alt+x")));
    EXPECT_TRUE(waitForText(*view, "^A^[x"));
    ASSERT_TRUE(key(QStringLiteral("Up")));
    EXPECT_TRUE(waitForText(*view, "^[x^[[A"));
    ASSERT_TRUE(key(QStringLiteral("ctrl+F5")));
    EXPECT_TRUE(waitForText(*view, "^[[A^[[15~"));
    // Application cursor keys, as `tput smkx` asks for them.
    view->feed(std::string_view("\x1b[?1h\x1b="));
    ASSERT_TRUE(key(QStringLiteral("Up")));
    EXPECT_TRUE(waitForText(*view, "^[[15~^[OA"));
}

TEST_F(TypingX11, KittyKeysAndModifierReleases)
{
    startCat("printf '\\033[>1u';");
    ASSERT_TRUE(key(QStringLiteral("Escape")));
    EXPECT_TRUE(waitForText(*view, "^[[27u"));
    ASSERT_TRUE(key(QStringLiteral("shift+Return")));
    EXPECT_TRUE(waitForText(*view, "^[[27u^[[13;2u"));

    // Report events and all keys: releasing one Shift while the other is
    // still held is reported as a release of that key.
    view->feed(std::string_view("\x1b[=11u"));
    ASSERT_TRUE(runXdotool({QStringLiteral("keydown"), QStringLiteral("Shift_L")}));
    ASSERT_TRUE(runXdotool({QStringLiteral("keydown"), QStringLiteral("Shift_R")}));
    ASSERT_TRUE(runXdotool({QStringLiteral("keyup"), QStringLiteral("Shift_L")}));
    ASSERT_TRUE(runXdotool({QStringLiteral("keyup"), QStringLiteral("Shift_R")}));
    EXPECT_TRUE(waitForText(*view, "^[[57441;2:3u"));
    EXPECT_TRUE(waitForText(*view, "^[[57441;2:3u^[[57447;1:3u"));
}

}  // namespace
}  // namespace corvel
