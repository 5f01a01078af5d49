// Kitty keyboard reports reaching real programs on a pseudo-terminal: the
// flags a program sets pick the bytes the encoder sends, and the program
// reads them as the keys they were.
#include "corvel/kitty/KittyKeyboardEncoder.h"
#include "tests/corvel/support/HeadlessProgramFixture.h"
#include "tests/corvel/support/ScreenText.h"

#include <unistd.h>

#include <string>

using namespace corvel;
using corvel::testing::readFile;

namespace {

class KittyKeyboardProgramsTest : public corvel::testing::HeadlessProgramTest {
protected:
    void start(const std::string& command, const std::string& term)
    {
        host_ = HeadlessProgramTest::start<corvel::testing::RecordingTerminal>(60, 10, command, term);
    }

    // Encodes one event as the view would, from the terminal's current state.
    void press(const KittyKeyEvent& event)
    {
        Terminal& t = host_->terminal();
        const KittyKeyboardEncoder encoder{t.keyboardEnhancementFlags(), t.applicationCursor, false};
        if (auto bytes = encoder.encode(event)) host_->send(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    }
    void type(const std::string& text)
    {
        for (char c : text) {
            KittyKeyEvent event;
            event.key = KittyKey::unicode(static_cast<unsigned char>(c));
            event.text = std::string(1, c);
            press(event);
        }
    }
    void key(KittyFunctionalKey which, KittyKeyboardEventType type = KittyKeyboardEventType::press,
             std::optional<std::string> text = std::nullopt)
    {
        KittyKeyEvent event;
        event.key = KittyKey::functional(which);
        event.eventType = type;
        event.text = std::move(text);
        press(event);
    }
    std::string screen() { return corvel::testing::screenText(host_->terminal()); }

    std::shared_ptr<corvel::testing::RecordingTerminal> host_;
};

}  // namespace

TEST_F(KittyKeyboardProgramsTest, AProgramThatAsksForAllKeysWithTextReadsThem)
{
    start("stty raw -echo; printf '\\033[>24u'; head -c 9 | od -An -tx1; printf 'done\\r\\n'", "xterm-256color");
    ASSERT_TRUE(pumpUntil([&] { return host_->terminal().keyboardEnhancementFlags().rawValue == 24; }));
    type("a");
    ASSERT_TRUE(pumpUntil([&] { return ended; }));
    EXPECT_NE(screen().find("1b 5b 39 37 3b 3b 39 37 75"), std::string::npos) << screen();
}

TEST_F(KittyKeyboardProgramsTest, VimEditsAFileThroughDisambiguatedKeys)
{
    if (access("/usr/bin/vim", X_OK) != 0) GTEST_SKIP() << "vim is not installed";
    start("exec vim -u NONE -i NONE -n -N note.txt", "xterm-kitty");
    Terminal& t = host_->terminal();
    // Vim switches the protocol on, draws its screen, then asks for the flags.
    ASSERT_TRUE(pumpUntil([&] { return host_->output.find("\x1b[?u") != std::string::npos; })) << host_->output;
    EXPECT_NE(host_->output.find("\x1b[=1;1u"), std::string::npos);
    EXPECT_EQ(t.keyboardEnhancementFlags(), KittyKeyboardFlags::disambiguate);

    type("i");
    type("hello!!!");
    // Backspace held down: one press and two repeats delete three characters.
    key(KittyFunctionalKey::backspace, KittyKeyboardEventType::press, "\x7f");
    key(KittyFunctionalKey::backspace, KittyKeyboardEventType::repeatPress, "\x7f");
    key(KittyFunctionalKey::backspace, KittyKeyboardEventType::repeatPress, "\x7f");
    key(KittyFunctionalKey::backspace, KittyKeyboardEventType::release);
    ASSERT_TRUE(pumpUntil([&] { return screen().starts_with("hello\n"); })) << screen();
    const size_t before = host_->output.size();
    key(KittyFunctionalKey::escape);
    type(":wq");
    key(KittyFunctionalKey::enter, KittyKeyboardEventType::press, "\r");
    ASSERT_TRUE(pumpUntil([&] { return ended; })) << screen();
    EXPECT_EQ(readFile(dir + "/note.txt"), "hello\n");
    EXPECT_NE(host_->output.find("\x1b[=0;1u", before), std::string::npos) << "vim turns the protocol off on exit";
}
