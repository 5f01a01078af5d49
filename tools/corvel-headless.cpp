// corvel-headless: runs a command in a headless terminal of a given size,
// answers its queries as the emulator does, and prints the final screen as
// text. A script of steps can type into it, wait, wait for text to appear or
// for the cursor to reach a cell, and resize it. With --feed it instead times
// the emulator alone on a file's bytes.
//
// Exit status: the command's exit code once it has ended (128 + the signal
// when a signal ended it), 0 when a script finished while it still ran, 124
// when an `expect` or `cursor` step or the wait for the command's end timed
// out, 2 for bad options or a bad script, 1 when the command or the file
// could not be used.
#include "corvel/host/HeadlessTerminal.h"
#include "corvel/parser/EscapeSequenceParser.h"
#include "corvel/terminal/Terminal.h"
#include "corvel/platform/Dispatch.h"
#include "corvel/platform/Log.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

using namespace corvel;

namespace {

constexpr const char* kName = "corvel-headless";
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitTimeout = 124;
constexpr int kMaxCols = 2000;
constexpr int kMaxRows = 1000;
constexpr int kMaxScrollback = 1'000'000;
// Bytes handed to the emulator at once in --feed mode: the size of one read
// from the pseudo-terminal, so the emulator sees what it sees from a child.
constexpr size_t kFeedChunk = 131072;

constexpr const char* kUsage =
    "usage: corvel-headless [options] [--] COMMAND [ARG...]\n"
    "       corvel-headless [--cols N] [--rows N] [--scrollback N] --feed FILE\n"
    "\n"
    "Runs COMMAND in a headless terminal and prints the final screen as text.\n"
    "\n"
    "  --cols N          columns (2 to 2000, default 80)\n"
    "  --rows N          rows (1 to 1000, default 25)\n"
    "  --scrollback N    lines of history (0 to 1000000, default 500)\n"
    "  --timeout SECS    longest wait of an expect step, and without a script\n"
    "                    for the command's end (default 10)\n"
    "  --trust           trust the directory and document the command reports,\n"
    "                    and let the command resize the terminal (CSI 8;ROWS;COLS t)\n"
    "  --cursor          print the cursor position (0-based) after the screen\n"
    "  --script FILE     steps, one a line ('#' starts a comment):\n"
    "                      send TEXT          type TEXT (C escapes, \\e for ESC)\n"
    "                      wait SECONDS       let the command run\n"
    "                      expect TEXT        wait until the screen shows TEXT\n"
    "                      cursor COL ROW     wait until the cursor is there (0-based)\n"
    "                      resize COLS ROWS   resize the terminal and its window\n"
    "                    the screen is printed when the last step is done\n"
    "  --feed FILE       feed FILE's bytes to a terminal without a command and\n"
    "                    print the elapsed time and MB/s\n"
    "  --help            show this text\n";

class UsageError {
public:
    explicit UsageError(std::string message) : message(std::move(message)) {}
    std::string message;
};

struct Step {
    enum class Kind { send, wait, expect, cursor, resize };
    Kind kind = Kind::send;
    std::string text;      // send, expect
    double seconds = 0;    // wait
    int cols = 0;          // resize; cursor's column
    int rows = 0;          // resize; cursor's row
};

struct Options {
    int cols = 80;
    int rows = 25;
    int scrollback = 500;
    double timeout = 10;
    bool trust = false;
    bool cursor = false;
    std::optional<std::string> script;
    std::optional<std::string> feed;
    std::vector<std::string> command;
};

// ---- parsing ----

int parseInt(std::string_view text, int low, int high, const std::string& what)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        throw UsageError(what + " must be a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not '" + std::string(text) + "'");
    return value;
}

double parseSeconds(std::string_view text, const std::string& what, bool allowZero)
{
    const std::string copy(text);
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(copy.c_str(), &end);
    if (copy.empty() || errno != 0 || *end != '\0' || !std::isfinite(value) || value < 0 ||
        (!allowZero && value == 0) || value > 86400)
        throw UsageError(what + " must be a number of seconds" + (allowZero ? "" : " above 0") +
                         " up to 86400, not '" + copy + "'");
    return value;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// C-style escapes: \n \r \t \a \b \f \v \e \\ \" \' \xHH and octal \NNN.
std::string decodeEscapes(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == text.size()) throw UsageError("a lone '\\' ends the text");
        const char e = text[i];
        switch (e) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'a': out += '\a'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'v': out += '\v'; break;
        case 'e': out += '\x1b'; break;
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case '\'': out += '\''; break;
        case 'x': {
            int value = 0;
            size_t digits = 0;
            while (digits < 2 && i + 1 < text.size() && hexDigit(text[i + 1]) >= 0) {
                value = value * 16 + hexDigit(text[++i]);
                ++digits;
            }
            if (digits == 0) throw UsageError("'\\x' needs a hexadecimal digit");
            out += static_cast<char>(value);
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                int value = e - '0';
                for (int k = 0; k < 2 && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '7'; ++k)
                    value = value * 8 + (text[++i] - '0');
                if (value > 0xFF) throw UsageError("octal escape above \\377");
                out += static_cast<char>(value);
                break;
            }
            throw UsageError(std::string("unknown escape '\\") + e + "'");
        }
    }
    return out;
}

// The text of a step: the rest of the line, without surrounding double quotes.
std::string stepText(std::string_view rest)
{
    if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"') rest = rest.substr(1, rest.size() - 2);
    return decodeEscapes(rest);
}

std::vector<Step> parseScript(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw UsageError("cannot read the script " + path + ": " + std::strerror(errno));
    std::vector<Step> steps;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        try {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            std::string_view view(line);
            while (!view.empty() && (view.front() == ' ' || view.front() == '\t')) view.remove_prefix(1);
            if (view.empty() || view.front() == '#') continue;
            const size_t space = view.find(' ');
            const std::string_view keyword = view.substr(0, space);
            const std::string_view rest = space == std::string_view::npos ? std::string_view() : view.substr(space + 1);
            Step step;
            if (keyword == "send") {
                step.kind = Step::Kind::send;
                step.text = stepText(rest);
                if (step.text.empty()) throw UsageError("send needs text");
            } else if (keyword == "expect") {
                step.kind = Step::Kind::expect;
                step.text = stepText(rest);
                if (step.text.empty()) throw UsageError("expect needs text");
            } else if (keyword == "wait") {
                step.kind = Step::Kind::wait;
                step.seconds = parseSeconds(rest, "wait", true);
            } else if (keyword == "cursor") {
                step.kind = Step::Kind::cursor;
                std::istringstream words{std::string(rest)};
                std::string col, row, extra;
                if (!(words >> col >> row) || (words >> extra)) throw UsageError("cursor needs COL ROW");
                step.cols = parseInt(col, 0, kMaxCols - 1, "cursor COL");
                step.rows = parseInt(row, 0, kMaxRows - 1, "cursor ROW");
            } else if (keyword == "resize") {
                step.kind = Step::Kind::resize;
                std::istringstream words{std::string(rest)};
                std::string cols, rows, extra;
                if (!(words >> cols >> rows) || (words >> extra)) throw UsageError("resize needs COLS ROWS");
                step.cols = parseInt(cols, 2, kMaxCols, "resize COLS");
                step.rows = parseInt(rows, 1, kMaxRows, "resize ROWS");
            } else {
                throw UsageError("unknown step '" + std::string(keyword) + "'");
            }
            steps.push_back(std::move(step));
        } catch (const UsageError& error) {
            throw UsageError(path + ":" + std::to_string(number) + ": " + error.message);
        }
    }
    return steps;
}

Options parseOptions(int argc, char** argv)
{
    Options options;
    int i = 1;
    // The value of an option, given as "--name VALUE" or "--name=VALUE".
    auto value = [&](std::string_view arg, std::string_view name) -> std::optional<std::string> {
        if (arg == name) {
            if (i + 1 >= argc) throw UsageError(std::string(name) + " needs a value");
            return std::string(argv[++i]);
        }
        if (arg.size() > name.size() && arg.substr(0, name.size()) == name && arg[name.size()] == '=')
            return std::string(arg.substr(name.size() + 1));
        return std::nullopt;
    };
    for (; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg.empty() || arg[0] != '-') break;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            std::exit(0);
        }
        if (arg == "--trust") {
            options.trust = true;
        } else if (arg == "--cursor") {
            options.cursor = true;
        } else if (auto v = value(arg, "--cols")) {
            options.cols = parseInt(*v, 2, kMaxCols, "--cols");
        } else if (auto v = value(arg, "--rows")) {
            options.rows = parseInt(*v, 1, kMaxRows, "--rows");
        } else if (auto v = value(arg, "--scrollback")) {
            options.scrollback = parseInt(*v, 0, kMaxScrollback, "--scrollback");
        } else if (auto v = value(arg, "--timeout")) {
            options.timeout = parseSeconds(*v, "--timeout", false);
        } else if (auto v = value(arg, "--script")) {
            options.script = *v;
        } else if (auto v = value(arg, "--feed")) {
            options.feed = *v;
        } else {
            throw UsageError("unknown option '" + std::string(arg) + "'");
        }
    }
    for (; i < argc; ++i) options.command.emplace_back(argv[i]);

    if (options.feed) {
        if (!options.command.empty()) throw UsageError("--feed runs no command");
        if (options.script) throw UsageError("--feed takes no --script");
    } else if (options.command.empty()) {
        throw UsageError("no command given");
    }
    return options;
}

// ---- the terminal and its screen ----

// A headless terminal whose trust is chosen on the command line.
class RunnerTerminal final : public HeadlessTerminal {
public:
    RunnerTerminal(EndCallback onEnd, bool trusted) : HeadlessTerminal(std::move(onEnd)), trusted_(trusted) {}

    bool isProcessTrusted(Terminal&) override { return trusted_; }

    // A trusted command may resize the terminal, within the sizes the
    // options accept; a 0 keeps that dimension.
    std::optional<std::vector<uint8_t>> windowCommand(Terminal& source, const WindowManipulationCommand& command) override
    {
        if (trusted_ && command.kind == WindowManipulationCommand::Kind::resizeTerminal) {
            const int cols = command.cols > 0 ? std::min(command.cols, kMaxCols) : source.cols();
            const int rows = command.rows > 0 ? std::min(command.rows, kMaxRows) : source.rows();
            resize(std::max(cols, 2), rows);
        }
        return std::nullopt;
    }

private:
    bool trusted_;
};

// Replies of a terminal fed without a child go nowhere.
class DiscardingHost final : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t>) override {}
};

// The screen the host shows, one line a row, trailing blanks removed.
std::string screenText(Terminal& terminal)
{
    Buffer& buffer = terminal.displayBuffer();
    const auto provider = [&terminal](const CharData& cell) {
        return cell.code == 0 ? std::string(" ") : terminal.character(cell.code);
    };
    std::string out;
    for (int row = 0; row < buffer.rows(); ++row) {
        const int64_t index = int64_t{buffer.yBase()} + row;
        if (index < 0 || index >= buffer.lines().count()) {
            out += '\n';
            continue;
        }
        std::string text = buffer.lines()[index].translateToString(true, 0, -1, true, provider);
        while (!text.empty() && text.back() == ' ') text.pop_back();
        out += text;
        out += '\n';
    }
    return out;
}

// ---- the command ----

std::string resolveExecutable(const std::string& name)
{
    if (name.find('/') != std::string::npos) return name;
    const char* path = std::getenv("PATH");
    std::string_view dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const size_t colon = dirs.find(':');
        std::string dir(dirs.substr(0, colon));
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + name;
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (colon == std::string_view::npos) break;
        dirs.remove_prefix(colon + 1);
    }
    return name;
}

// This program's environment for the child, naming the emulated terminal.
// LINES and COLUMNS go: they would override the window size.
std::vector<std::string> childEnvironment(const std::string& termName)
{
    std::vector<std::string> env;
    bool hasLang = false;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string_view item(*entry);
        const std::string_view name = item.substr(0, item.find('='));
        if (name == "TERM" || name == "COLORTERM" || name == "LINES" || name == "COLUMNS") continue;
        if (name == "LANG") hasLang = true;
        env.emplace_back(item);
    }
    env.push_back("TERM=" + termName);
    env.emplace_back("COLORTERM=truecolor");
    if (!hasLang) env.emplace_back("LANG=en_US.UTF-8");
    return env;
}

Nanos toNanos(double seconds)
{
    return static_cast<Nanos>(seconds * 1e9);
}

int exitCodeOf(int status)
{
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return kExitFailure;
}

int runCommand(const Options& options, const std::vector<Step>& steps, RunLoopQueue& main)
{
    TerminalOptions termOptions;
    termOptions.cols = options.cols;
    termOptions.rows = options.rows;
    termOptions.scrollback = options.scrollback;

    bool ended = false;
    int status = 0;
    auto host = HeadlessTerminal::create<RunnerTerminal>(
        nullptr, termOptions,
        [&](std::optional<int32_t> exitCode) {
            ended = true;
            status = exitCode.value_or(0);
        },
        options.trust);

    const std::string executable = resolveExecutable(options.command[0]);
    if (executable.find('/') == std::string::npos)
        std::cerr << kName << ": " << executable << ": not found in PATH\n";
    const std::vector<std::string> args(options.command.begin() + 1, options.command.end());
    host->process().startProcess(executable, args, childEnvironment(termOptions.termName), options.command[0]);
    // Only a child that was never made has no process id: a quick one may
    // already have written its last output and no longer count as running.
    if (host->process().shellPid() <= 0) {
        std::cerr << kName << ": cannot start " << options.command[0] << "\n";
        return kExitFailure;
    }

    int result = 0;
    bool timedOut = false;
    if (options.script) {
        for (const Step& step : steps) {
            switch (step.kind) {
            case Step::Kind::send: host->send(step.text); break;
            case Step::Kind::wait: main.runFor(toNanos(step.seconds)); break;
            case Step::Kind::resize: host->resize(step.cols, step.rows); break;
            case Step::Kind::expect: {
                // Read after each delivery and while idle: the screen may also
                // change without output, when synchronized output times out.
                const bool found = main.runUntil(
                    [&] { return screenText(host->terminal()).find(step.text) != std::string::npos; },
                    toNanos(options.timeout));
                if (!found) {
                    std::cerr << kName << ": expect timed out after " << options.timeout << " s: " << step.text << "\n";
                    timedOut = true;
                }
                break;
            }
            case Step::Kind::cursor: {
                // A program may draw its last row before it moves the
                // cursor, in a later write: the screen alone does not say
                // that it has finished.
                auto there = [&] {
                    const auto [x, y] = host->terminal().getCursorLocation();
                    return x == step.cols && y == step.rows;
                };
                if (!main.runUntil(there, toNanos(options.timeout))) {
                    const auto [x, y] = host->terminal().getCursorLocation();
                    std::cerr << kName << ": cursor timed out after " << options.timeout << " s: " << step.cols
                              << " " << step.rows << " (it is at " << x << " " << y << ")\n";
                    timedOut = true;
                }
                break;
            }
            }
            if (timedOut) break;
        }
        main.runUntilIdle();
    } else if (!main.runUntil([&] { return ended; }, toNanos(options.timeout))) {
        std::cerr << kName << ": " << options.command[0] << " still runs after " << options.timeout << " s\n";
        timedOut = true;
    }

    std::cout << screenText(host->terminal());
    if (options.cursor) {
        const auto [x, y] = host->terminal().getCursorLocation();
        std::cout << "cursor: " << x << "," << y << "\n";
    }
    std::cout.flush();

    if (timedOut) result = kExitTimeout;
    else if (ended) result = exitCodeOf(status);
    if (!ended) host->process().terminate();
    return result;
}

int runFeed(const Options& options)
{
    std::ifstream in(*options.feed, std::ios::binary);
    if (!in) {
        std::cerr << kName << ": cannot read " << *options.feed << ": " << std::strerror(errno) << "\n";
        return kExitFailure;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    TerminalOptions termOptions;
    termOptions.cols = options.cols;
    termOptions.rows = options.rows;
    termOptions.scrollback = options.scrollback;
    auto host = std::make_shared<DiscardingHost>();
    Terminal terminal(host, termOptions);

    const Nanos start = monotonicNanos();
    for (size_t at = 0; at < bytes.size(); at += kFeedChunk) {
        const size_t count = std::min(kFeedChunk, bytes.size() - at);
        terminal.parser().parse(std::span(bytes.data() + at, count));
    }
    const double seconds = static_cast<double>(monotonicNanos() - start) / 1e9;
    const double megabytes = static_cast<double>(bytes.size()) / 1e6;
    char line[160];
    std::snprintf(line, sizeof line, "fed %zu bytes in %.3f s: %.1f MB/s\n", bytes.size(), seconds,
                  seconds > 0 ? megabytes / seconds : 0.0);
    std::cout << line;
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    // Library lines go to standard error, so standard output holds only the screen.
    log::setSink([](std::string_view line) { std::cerr << line << '\n'; });

    Options options;
    std::vector<Step> steps;
    try {
        options = parseOptions(argc, argv);
        if (options.script) steps = parseScript(*options.script);
    } catch (const UsageError& error) {
        std::cerr << kName << ": " << error.message << "\n"
                  << "Try '" << kName << " --help' for more information.\n";
        return kExitUsage;
    }

    auto main = std::make_shared<RunLoopQueue>();
    DispatchQueue::setMain(main);
    if (options.feed) return runFeed(options);
    return runCommand(options, steps, *main);
}
