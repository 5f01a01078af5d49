// The headless terminal with real programs on real pseudo-terminals: output on
// the screen, replies reaching the program, window sizes, exit statuses, large
// output within bounded memory, hang-up on close, kept images (also when there
// is no room to copy one, in a child process whose address space may grow by
// 16 MiB only). Input, exits of missing programs and descriptor isolation are
// the process host's own tests.
#include "corvel/host/HeadlessTerminal.h"

#include "tests/corvel/support/AddressSpaceLimit.h"
#include "tests/corvel/support/HeadlessProgramFixture.h"
#include "tests/corvel/support/ProcessMemory.h"
#include "tests/corvel/support/ScreenText.h"
#include "tests/corvel/support/TempDir.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <sstream>

using namespace corvel;
using corvel::testing::readFile;

namespace {

constexpr Nanos kSecond = 1'000'000'000;
const std::vector<std::string> kEnv = {"PATH=/usr/bin:/bin", "LANG=C", "TERM=xterm-256color", "PS1=$ "};

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

uint64_t fnv(uint64_t hash, std::string_view bytes)
{
    for (unsigned char byte : bytes) hash = (hash ^ byte) * 1099511628211ull;
    return hash;
}
constexpr uint64_t kFnvStart = 14695981039346656037ull;

// Hashes every byte the terminal is fed, in order.
class HashingTerminal : public HeadlessTerminal {
public:
    explicit HashingTerminal(EndCallback onEnd) : HeadlessTerminal(std::move(onEnd)) {}
    void dataReceived(std::span<const uint8_t> slice) override
    {
        hash = fnv(hash, std::string_view(reinterpret_cast<const char*>(slice.data()), slice.size()));
        count += slice.size();
        HeadlessTerminal::dataReceived(slice);
    }
    uint64_t hash = kFnvStart;
    size_t count = 0;
};

class HeadlessTerminalTest : public corvel::testing::HeadlessProgramTest {
protected:
    template <class T = HeadlessTerminal>
    std::shared_ptr<T> make(int cols = 80, int rows = 25)
    {
        TerminalOptions options;
        options.cols = cols;
        options.rows = rows;
        return HeadlessTerminal::create<T>(nullptr, options,
                                           [this](std::optional<int32_t> code) { exits_.push_back(code.value_or(-1)); });
    }
    static std::string screen(HeadlessTerminal& host) { return corvel::testing::screenText(host.terminal()); }
    bool waitForScreen(HeadlessTerminal& host, const std::string& text)
    {
        return pumpUntil([&] { return screen(host).find(text) != std::string::npos; });
    }

    std::shared_ptr<RunLoopQueue> main_ = scope_.queue;
    std::vector<int32_t> exits_;
};

}  // namespace

TEST_F(HeadlessTerminalTest, ShellRunsSeesItsSizeGetsRepliesAndReportsItsExit)
{
    auto host = make();
    EXPECT_EQ(host->getWindowSize(), (WindowSize{25, 80, 16, 16}));
    // A width the window-size record cannot hold is reported as the largest it can.
    EXPECT_EQ(make(70000, 1)->getWindowSize().cols, 65535);
    // A resize before the start sets the size the child starts with.
    host->resize(90, 20);
    host->process().startProcess("/bin/bash", {"--norc", "--noprofile", "-i"}, kEnv);
    host->send("echo hel''lo; stty size\n");
    // Resized only at the next prompt: bash writes back the window size it
    // read when a command ends, which would undo a resize made in between.
    ASSERT_TRUE(waitForScreen(*host, "\nhello\n20 90\n$")) << screen(*host);
    host->resize(100, 30);
    EXPECT_EQ(host->terminal().getDims(), std::make_pair(100, 30));
    host->send("stty size\n");
    ASSERT_TRUE(waitForScreen(*host, "\n30 100\n")) << screen(*host);

    // The program asks for the cursor position and the device attributes
    // and reads the replies from its input.
    host->send("printf '\\e[5;7H\\e[6n'; IFS= read -rs -d R r; printf '\\e[12;1H<%s>' \"${r#*[}\"\n");
    ASSERT_TRUE(waitForScreen(*host, "\n<5;7>")) << screen(*host);
    host->send("printf '\\e[c'; IFS= read -rs -d c r; printf '\\e[14;1H<%sc>' \"${r#*[}\"\n");
    ASSERT_TRUE(waitForScreen(*host, "\n<?")) << screen(*host);
    EXPECT_NE(screen(*host).find("c>"), std::string::npos) << screen(*host);

    host->send("exit 3\n");
    ASSERT_TRUE(pumpUntil([&] { return exits_.size() == 1; }));
    EXPECT_EQ(exits_[0], 3 << 8);  // the raw wait status
}

TEST_F(HeadlessTerminalTest, TheWindowFollowsTheTerminalsOwnSwitchTo132Columns)
{
    auto host = make();
    // The position report comes back after the switch was made, so the size
    // read after it is the one the switch left.
    host->process().startProcess(
        "/bin/bash",
        {"--norc", "--noprofile", "-c",
         "stty -echo; printf '\\033[?40h\\033[?3h\\033[6n'; IFS= read -r -d R r; wide=$(stty size); "
         "printf '\\033[?3l\\033[6n'; IFS= read -r -d R r; echo \"<$wide|$(stty size)>\"; read x"},
        kEnv);
    ASSERT_TRUE(waitForScreen(*host, "<25 132|25 80>")) << screen(*host);
    EXPECT_EQ(host->getWindowSize().cols, 80);
}

TEST_F(HeadlessTerminalTest, ScrollbackChangeAndReportedDirectory)
{
    auto host = make(20, 5);
    std::string bytes;
    for (int i = 0; i < 100; ++i) bytes += "line " + std::to_string(i) + "\r\n";
    bytes += "\x1b]7;file://host/tmp/some%20where\x07";
    host->dataReceived(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    EXPECT_EQ(host->dir(), "file://host/tmp/some%20where");

    host->changeScrollback(10);
    EXPECT_EQ(host->terminal().options().scrollback, 10);
    EXPECT_EQ(host->terminal().normalBuffer().lines().count(), 15);
    EXPECT_NE(screen(*host).find("line 99\n"), std::string::npos) << screen(*host);
    host->changeScrollback(std::nullopt);
    EXPECT_EQ(host->terminal().options().scrollback, 0);
}

TEST_F(HeadlessTerminalTest, KeepsOnlyTheNewestImagesWithinItsLimits)
{
    auto host = make();
    Terminal& t = host->terminal();
    const int many = static_cast<int>(HeadlessTerminal::maxImages) + 6;
    for (int i = 0; i < many; ++i) {
        std::vector<uint8_t> pixels(4, static_cast<uint8_t>(i));
        host->createImageFromBitmap(t, pixels, i, 1);
        EXPECT_EQ(pixels.size(), 4u);  // the caller keeps its pixels
    }
    ASSERT_EQ(host->images().size(), HeadlessTerminal::maxImages);
    EXPECT_EQ(host->images().front().width, 6);
    EXPECT_EQ(host->images().back().width, many - 1);
    EXPECT_EQ(host->imageBytes(), 4 * HeadlessTerminal::maxImages);

    // Large images push the oldest out until the newest fit within the byte limit.
    const size_t quarter = HeadlessTerminal::maxImageBytes / 4;
    for (int i = 0; i < 4; ++i) {
        std::vector<uint8_t> pixels(quarter + 1);
        host->createImageFromBitmap(t, pixels, 1000 + i, 1);
    }
    ASSERT_EQ(host->images().size(), 3u);
    EXPECT_EQ(host->images().front().width, 1001);
    EXPECT_EQ(host->imageBytes(), 3 * (quarter + 1));

    // One image above the whole limit is not kept and drops nothing.
    std::vector<uint8_t> huge(HeadlessTerminal::maxImageBytes + 1);
    host->createImageFromBitmap(t, huge, 2000, 1);
    EXPECT_EQ(host->images().size(), 3u);
    EXPECT_EQ(host->images().back().width, 1003);
}

// A bitmap whose copy finds no room is neither kept nor counted, so the next
// image evicts none of the kept ones (the refused one would have filled the
// byte limit beside them, and so nothing was evicted for it either).
TEST(HeadlessTerminalDeathTest, ABitmapWithoutRoomForItsCopyIsNotCounted)
{
#ifdef CORVEL_SANITIZED
    GTEST_SKIP() << "a sanitizer's allocator ends the process when the room runs out";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto countsWhatItKeeps = [] {
        constexpr size_t kMiB = size_t{1} << 20;
        corvel::testing::MainQueueScope scope;
        auto host = HeadlessTerminal::create(nullptr, TerminalOptions{}, nullptr);
        std::vector<uint8_t> small(kMiB), large(HeadlessTerminal::maxImageBytes - 2 * kMiB);
        host->createImageFromBitmap(host->terminal(), small, 1, 1);
        host->createImageFromBitmap(host->terminal(), small, 2, 1);
        if (!corvel::testing::limitAddressSpaceGrowth(16 * kMiB)) return 1;
        try {
            host->createImageFromBitmap(host->terminal(), large, 3, 1);
            return 2;
        } catch (const std::bad_alloc&) {
        }
        host->createImageFromBitmap(host->terminal(), small, 4, 1);
        std::string kept;
        size_t held = 0;
        for (const auto& image : host->images()) {
            kept += std::to_string(image.width);
            held += image.bytes.size();
        }
        std::fprintf(stderr, "kept %s, holding %zu bytes, counted %zu\n", kept.c_str(), held, host->imageBytes());
        return kept == "124" && host->imageBytes() == held ? 0 : 3;
    };
    EXPECT_EXIT(std::_Exit(countsWhatItKeeps()), ::testing::ExitedWithCode(0), "");
}

TEST_F(HeadlessTerminalTest, ClosingASessionHangsUpItsShellAndLeavesNoZombie)
{
    auto host = make();
    const std::string marker = dir + "/hup";
    host->process().startProcess(
        "/bin/sh", {"-c", "trap 'echo hup > " + marker + "; exit' HUP; echo armed; while :; do sleep 0.1; done"}, kEnv);
    const pid_t pid = host->process().shellPid();
    ASSERT_TRUE(waitForScreen(*host, "armed\n")) << screen(*host);

    host.reset();
    EXPECT_TRUE(pumpUntil([&] { return ::kill(pid, 0) != 0 && errno == ESRCH; }));  // gone, not a zombie
    EXPECT_EQ(readFile(marker), "hup\n");
    EXPECT_TRUE(exits_.empty());  // a closed session reports nothing more
}

TEST_F(HeadlessTerminalTest, LargeOutputArrivesCompleteWithBoundedMemory)
{
    // Text with colours and line ends, as a busy program writes it.
    const size_t total = kSanitized ? (16u << 20) : (100u << 20);
    const std::string path = dir + "/output";
    uint64_t expected = kFnvStart;
    {
        std::ofstream out(path, std::ios::binary);
        std::string block;
        for (size_t line = 0, written = 0; written < total; ++line) {
            block += "\x1b[3" + std::to_string(line % 8) + "m" + std::to_string(line) +
                     "\x1b[0m the quick brown fox jumps over the lazy dog 0123456789\r\n";
            if (block.size() < 65536 && written + block.size() < total) continue;
            block.resize(std::min(block.size(), total - written));
            expected = fnv(expected, block);
            out << block;
            written += block.size();
            block.clear();
        }
    }

    auto host = make<HashingTerminal>();
    const size_t baseline = corvel::testing::processMemory("VmRSS:");
    size_t peak = baseline;
    bool sampling = true;
    std::function<void()> sample = [&] {
        peak = std::max(peak, corvel::testing::processMemory("VmRSS:"));
        if (sampling) main_->asyncAfter(20'000'000, sample);
    };
    sample();
    host->process().startProcess("/bin/sh", {"-c", "stty raw -echo; exec cat '" + path + "'"}, kEnv);
    ASSERT_TRUE(pumpUntil([&] { return !exits_.empty(); }, 600 * kSecond));
    sampling = false;
    main_->runFor(30'000'000);

    EXPECT_EQ(exits_[0], 0);
    EXPECT_EQ(host->count, total);
    EXPECT_EQ(host->hash, expected);
    // Reading pauses while at most 16 MiB wait for the main queue, and the screen
    // keeps 500 lines of history. (A sanitizer's quarantine holds freed blocks.)
    if (!kSanitized) {
        EXPECT_LT(peak - baseline, size_t{64} << 20);
    }
}
