// The headless terminal with real programs on real pseudo-terminals: output on
// the screen, replies reaching the program, window sizes, exit statuses, large
// output and input, hang-up on close, descriptor isolation, kept images.
#include "corvel/HeadlessTerminal.h"

#include "corvel/platform/Dispatch.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

using namespace corvel;

namespace {

constexpr Nanos kSecond = 1'000'000'000;
const std::vector<std::string> kEnv = {"PATH=/usr/bin:/bin", "LANG=C", "TERM=xterm-256color", "PS1=$ "};
const std::vector<std::string> kBash = {"--norc", "--noprofile", "-i"};

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Hashes every byte the terminal is fed, in order (64-bit FNV-1a).
class HashingTerminal : public HeadlessTerminal {
public:
    explicit HashingTerminal(EndCallback onEnd) : HeadlessTerminal(std::move(onEnd)) {}
    void dataReceived(std::span<const uint8_t> slice) override
    {
        for (uint8_t byte : slice) hash = (hash ^ byte) * 1099511628211ull;
        count += slice.size();
        HeadlessTerminal::dataReceived(slice);
    }
    uint64_t hash = 14695981039346656037ull;
    size_t count = 0;
};

// Replies a bare emulator gives to `query`, to tell whether it answers yet.
class ReplyProbe : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t> data) override { replies.append(data.begin(), data.end()); }
    std::string replies;
};

std::string emulatorReply(std::string_view query)
{
    auto probe = std::make_shared<ReplyProbe>();
    Terminal terminal(probe);
    terminal.feed(query);
    return probe->replies;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

size_t residentBytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stoull(line.substr(6)) * 1024;
    return 0;
}

bool reaped(pid_t pid)
{
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

// Where each descriptor of a process points.
std::vector<std::string> descriptorTargets(pid_t pid)
{
    std::vector<std::string> targets;
    const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    DIR* d = ::opendir(dir.c_str());
    if (!d) return targets;
    while (dirent* entry = ::readdir(d)) {
        if (entry->d_name[0] == '.') continue;
        char target[512];
        const ssize_t n = ::readlink((dir + "/" + entry->d_name).c_str(), target, sizeof target - 1);
        targets.emplace_back(target, n > 0 ? static_cast<size_t>(n) : 0);
    }
    ::closedir(d);
    return targets;
}

class HeadlessTerminalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        main_ = std::make_shared<RunLoopQueue>();
        previous_ = DispatchQueue::setMain(main_);
        char pattern[] = "/tmp/corvel-headless-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override
    {
        DispatchQueue::setMain(previous_);
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }

    template <class T = HeadlessTerminal>
    std::shared_ptr<T> make(int cols = 80, int rows = 25)
    {
        TerminalOptions options;
        options.cols = cols;
        options.rows = rows;
        return HeadlessTerminal::create<T>(nullptr, options,
                                           [this](std::optional<int32_t> code) { exits_.push_back(code.value_or(-1)); });
    }

    bool pumpUntil(const std::function<bool()>& done, Nanos timeout = 20 * kSecond)
    {
        return main_->runUntil(done, timeout);
    }

    static std::string row(HeadlessTerminal& host, int y)
    {
        Terminal& t = host.terminal();
        const BufferLine* line = t.getLine(y);
        if (!line) return {};
        return line->translateToString(true, 0, -1, true, [&t](const CharData& c) {
            return c.code == 0 ? std::string(" ") : t.character(c.code);
        });
    }
    static std::string screen(HeadlessTerminal& host)
    {
        std::string out;
        for (int y = 0; y < host.terminal().rows(); ++y) out += row(host, y) + "\n";
        return out;
    }
    bool waitForScreen(HeadlessTerminal& host, const std::string& text)
    {
        return pumpUntil([&] { return screen(host).find(text) != std::string::npos; });
    }

    std::shared_ptr<RunLoopQueue> main_;
    std::shared_ptr<DispatchQueue> previous_;
    std::string dir_;
    std::vector<int32_t> exits_;
};

}  // namespace

TEST_F(HeadlessTerminalTest, ShellOutputCursorRepliesAndExitStatuses)
{
    auto host = make();
    host->send("dropped before the start\n");
    EXPECT_EQ(host->process().sendCount(), 0);

    host->process().startProcess("/bin/bash", kBash, kEnv);
    host->send("echo hel''lo\n");
    ASSERT_TRUE(waitForScreen(*host, "\nhello\n")) << screen(*host);

    // The program asks where the cursor is and reads the reply from its input.
    host->send("printf '\\e[5;7H\\e[6n'; IFS= read -rs -d R r; printf '\\e[12;1H<%s>' \"${r#*[}\"\n");
    ASSERT_TRUE(pumpUntil([&] { return row(*host, 11).find("<5;7>") != std::string::npos; })) << screen(*host);

    host->send("exit 3\n");
    ASSERT_TRUE(pumpUntil([&] { return exits_.size() == 1; }));
    EXPECT_EQ(exits_[0], 3 << 8);  // the raw wait status

    auto printer = make();
    printer->process().startProcess("/bin/sh", {"-c", "printf abc"}, kEnv);
    ASSERT_TRUE(pumpUntil([&] { return exits_.size() == 2; }));
    EXPECT_EQ(exits_[1], 0);
    EXPECT_EQ(row(*printer, 0), "abc");

    auto missing = make();
    missing->process().startProcess("/nonexistent/program", {}, kEnv);
    ASSERT_TRUE(pumpUntil([&] { return exits_.size() == 3; }));
    EXPECT_EQ(exits_[2], 127 << 8);
}

TEST_F(HeadlessTerminalTest, DeviceAttributesReplyReachesTheProgram)
{
    if (emulatorReply("\x1b[c").empty()) GTEST_SKIP() << "the emulator does not answer device attributes yet";
    auto host = make();
    host->process().startProcess(
        "/bin/bash", {"-c", "printf '\\e[c'; IFS= read -rs -t 10 -d c r; printf '<%s>' \"${r#*[}\"; sleep 5"}, kEnv);
    ASSERT_TRUE(pumpUntil([&] { return row(*host, 0).find('>') != std::string::npos; })) << screen(*host);
    EXPECT_EQ(row(*host, 0).rfind("<?", 0), 0u) << row(*host, 0);
}

TEST_F(HeadlessTerminalTest, WindowSizeFollowsTheEmulatorAndAResize)
{
    auto host = make();
    const winsize size = host->getWindowSize();
    EXPECT_EQ(size.ws_row, 25);
    EXPECT_EQ(size.ws_col, 80);
    EXPECT_EQ(size.ws_xpixel, 16);
    EXPECT_EQ(size.ws_ypixel, 16);

    // A resize before the start sets the size the child starts with.
    host->resize(90, 20);
    host->process().startProcess("/bin/bash", kBash, kEnv);
    host->send("stty size\n");
    ASSERT_TRUE(waitForScreen(*host, "\n20 90\n")) << screen(*host);

    host->resize(100, 30);
    EXPECT_EQ(host->terminal().cols(), 100);
    EXPECT_EQ(host->terminal().rows(), 30);
    host->send("stty size\n");
    ASSERT_TRUE(waitForScreen(*host, "\n30 100\n")) << screen(*host);
}

TEST_F(HeadlessTerminalTest, ScrollbackChangesAndReportedDirectory)
{
    auto host = make(20, 5);
    std::string lines;
    for (int i = 0; i < 100; ++i) lines += "line " + std::to_string(i) + "\r\n";
    host->dataReceived(std::span(reinterpret_cast<const uint8_t*>(lines.data()), lines.size()));
    EXPECT_GT(host->terminal().normalBuffer().lines().count(), 50);
    host->terminal().clearUpdateRange();
    host->changeScrollback(10);
    EXPECT_EQ(host->terminal().options().scrollback, 10);
    EXPECT_LE(host->terminal().normalBuffer().lines().count(), 15);
    EXPECT_EQ(row(*host, 3), "line 99");
    EXPECT_EQ(host->terminal().getUpdateRange(), std::make_optional(std::pair<int64_t, int64_t>(0, 4)));
    host->changeScrollback(std::nullopt);
    EXPECT_EQ(host->terminal().options().scrollback, 0);

    const std::string report = "\x1b]7;file://host/tmp/some%20where\x07";
    host->dataReceived(std::span(reinterpret_cast<const uint8_t*>(report.data()), report.size()));
    if (!host->terminal().hostCurrentDirectory) GTEST_SKIP() << "the emulator does not take OSC 7 yet";
    EXPECT_EQ(host->dir(), "file://host/tmp/some%20where");
}

TEST_F(HeadlessTerminalTest, KeepsOnlyTheNewestImagesWithinItsLimits)
{
    auto host = make();
    Terminal& t = host->terminal();
    for (int i = 0; i < static_cast<int>(HeadlessTerminal::maxImages) + 6; ++i) {
        std::vector<uint8_t> pixels(4, static_cast<uint8_t>(i));
        host->createImageFromBitmap(t, pixels, i, 1);
        EXPECT_EQ(pixels.size(), 4u);  // the caller keeps its pixels
    }
    ASSERT_EQ(host->images().size(), HeadlessTerminal::maxImages);
    EXPECT_EQ(host->images().front().width, 6);
    EXPECT_EQ(host->images().back().width, static_cast<int>(HeadlessTerminal::maxImages) + 5);
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
    EXPECT_LE(host->imageBytes(), HeadlessTerminal::maxImageBytes);
}

TEST_F(HeadlessTerminalTest, ClosingASessionHangsUpItsShellAndLeavesNoZombie)
{
    auto host = make();
    const std::string marker = dir_ + "/hup";
    host->process().startProcess(
        "/bin/sh", {"-c", "trap 'echo hup > " + marker + "; exit' HUP; echo armed; while :; do sleep 0.1; done"}, kEnv);
    const pid_t pid = host->process().shellPid();
    ASSERT_TRUE(waitForScreen(*host, "armed\n")) << screen(*host);

    host.reset();
    EXPECT_TRUE(pumpUntil([&] { return reaped(pid); }));
    EXPECT_EQ(readFile(marker), "hup\n");
    EXPECT_TRUE(exits_.empty());  // a closed session reports nothing more
}

TEST_F(HeadlessTerminalTest, NoDescriptorOfOneSessionIsOpenInAnothersChild)
{
    auto first = make();
    auto second = make();
    first->process().startProcess("/bin/cat", {}, kEnv);
    second->process().startProcess("/bin/cat", {}, kEnv);
    std::set<std::string> terminals;
    for (pid_t pid : {first->process().shellPid(), second->process().shellPid()}) {
        // Until it has become `cat`, the child may still hold what it closes before exec.
        const std::string comm = "/proc/" + std::to_string(pid) + "/comm";
        ASSERT_TRUE(pumpUntil([&] { return readFile(comm) == "cat\n"; }));
        const auto targets = descriptorTargets(pid);
        ASSERT_EQ(targets.size(), 3u) << "pid " << pid;
        for (const auto& target : targets) EXPECT_EQ(target, targets[0]);
        EXPECT_EQ(targets[0].rfind("/dev/pts/", 0), 0u) << targets[0];
        terminals.insert(targets[0]);
    }
    EXPECT_EQ(terminals.size(), 2u);
}

TEST_F(HeadlessTerminalTest, LargeOutputArrivesCompleteWithBoundedMemory)
{
    // Text with colours and line ends, as a busy program writes it.
    const size_t total = kSanitized ? (16u << 20) : (100u << 20);
    const std::string path = dir_ + "/output";
    uint64_t expected = 14695981039346656037ull;
    {
        std::ofstream out(path, std::ios::binary);
        std::string block;
        size_t written = 0;
        for (int line = 0; written < total; ++line) {
            block += "\x1b[3" + std::to_string(line % 8) + "m" + std::to_string(line) +
                     "\x1b[0m the quick brown fox jumps over the lazy dog 0123456789\r\n";
            if (block.size() >= 65536 || written + block.size() >= total) {
                block.resize(std::min(block.size(), total - written));
                for (char c : block) expected = (expected ^ static_cast<uint8_t>(c)) * 1099511628211ull;
                out.write(block.data(), static_cast<std::streamsize>(block.size()));
                written += block.size();
                block.clear();
            }
        }
    }

    auto host = make<HashingTerminal>();
    const size_t baseline = residentBytes();
    size_t peak = baseline;
    bool sampling = true;
    std::function<void()> sample = [&] {
        peak = std::max(peak, residentBytes());
        if (sampling) main_->asyncAfter(20'000'000, sample);
    };
    sample();
    host->process().startProcess("/bin/sh", {"-c", "stty raw -echo; exec cat '" + path + "'"}, kEnv);
    ASSERT_TRUE(pumpUntil([&] { return !exits_.empty(); }, 120 * kSecond));
    sampling = false;
    main_->runFor(30'000'000);

    EXPECT_EQ(exits_[0], 0);
    EXPECT_EQ(host->count, total);
    EXPECT_EQ(host->hash, expected);
    // Reading pauses while 16 MiB wait for the main queue; the screen keeps
    // its 500 lines of history.
    if (!kSanitized) {
        EXPECT_LT(peak - baseline, size_t{64} << 20);
    }
}

TEST_F(HeadlessTerminalTest, AMegabytePasteArrivesByteIdentical)
{
    std::string paste;
    for (int line = 0; paste.size() < (1u << 20); ++line)
        paste += std::to_string(line) + " pasted text, 붙여넣은 글 " + std::string(static_cast<size_t>(line % 60), 'x') + "\n";
    const std::string path = dir_ + "/pasted";

    auto host = make();
    host->process().startProcess("/bin/sh", {"-c", "cat > '" + path + "'"}, kEnv);
    host->send(paste);
    host->send("\x04");  // end of input at the start of a line
    ASSERT_TRUE(pumpUntil([&] { return !exits_.empty(); }, 60 * kSecond));
    EXPECT_EQ(exits_[0], 0);
    const std::string arrived = readFile(path);
    EXPECT_EQ(arrived.size(), paste.size());
    EXPECT_TRUE(arrived == paste);
}
