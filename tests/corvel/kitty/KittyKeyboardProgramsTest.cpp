// Kitty keyboard reports reaching real programs on a pseudo-terminal: the
// flags a program sets pick the bytes the encoder sends, and the program
// reads them as the keys they were.
#include "corvel/host/HeadlessTerminal.h"
#include "corvel/kitty/KittyKeyboardEncoder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

using namespace corvel;

namespace {

constexpr Nanos kHangGuard = 20'000'000'000;

class RecordingTerminal : public HeadlessTerminal {
public:
    explicit RecordingTerminal(EndCallback onEnd) : HeadlessTerminal(std::move(onEnd)) {}
    void dataReceived(std::span<const uint8_t> slice) override
    {
        output.append(slice.begin(), slice.end());
        HeadlessTerminal::dataReceived(slice);
    }
    std::string output;
};

class KittyKeyboardProgramsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        main_ = std::make_shared<RunLoopQueue>();
        previous_ = DispatchQueue::setMain(main_);
        char pattern[] = "/tmp/corvel-keys-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override
    {
        host_.reset();
        DispatchQueue::setMain(previous_);
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }

    void start(const std::string& command, const std::string& term)
    {
        TerminalOptions options;
        options.cols = 60;
        options.rows = 10;
        host_ = HeadlessTerminal::create<RecordingTerminal>(nullptr, options,
                                                            [this](std::optional<int32_t>) { ended_ = true; });
        host_->process().startProcess("/bin/sh", {"-c", command},
                                      std::vector<std::string>{"PATH=/usr/bin:/bin", "LANG=C.UTF-8",
                                                               "TERM=" + term, "HOME=" + dir_},
                                      std::nullopt, dir_);
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

    std::string screen()
    {
        Terminal& t = host_->terminal();
        std::string out;
        for (int y = 0; y < t.rows(); ++y)
            out += t.getLine(y)->translateToString(true, 0, -1, true, [&t](const CharData& c) {
                return c.code == 0 ? std::string(" ") : t.character(c.code);
            }) + "\n";
        return out;
    }
    bool pumpUntil(const std::function<bool()>& done) { return main_->runUntil(done, kHangGuard); }

    std::shared_ptr<RunLoopQueue> main_;
    std::shared_ptr<DispatchQueue> previous_;
    std::string dir_;
    std::shared_ptr<RecordingTerminal> host_;
    bool ended_ = false;
};

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST_F(KittyKeyboardProgramsTest, AProgramThatAsksForAllKeysWithTextReadsThem)
{
    start("stty raw -echo; printf '\\033[>24u'; head -c 9 | od -An -tx1; printf 'done\\r\\n'", "xterm-256color");
    ASSERT_TRUE(pumpUntil([&] { return host_->terminal().keyboardEnhancementFlags().rawValue == 24; }));
    type("a");
    ASSERT_TRUE(pumpUntil([&] { return ended_; }));
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
    ASSERT_TRUE(pumpUntil([&] { return ended_; })) << screen();
    EXPECT_EQ(readFile(dir_ + "/note.txt"), "hello\n");
    EXPECT_NE(host_->output.find("\x1b[=0;1u", before), std::string::npos) << "vim turns the protocol off on exit";
}
