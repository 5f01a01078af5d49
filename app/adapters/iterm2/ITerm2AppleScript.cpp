#include "app/adapters/iterm2/ITerm2AppleScript.h"

#include "app/adapters/iterm2/OsascriptRunner.h"

#include <cstring>
#include <memory>

namespace tilebay::ITerm2AppleScript {

namespace {

// The queue and the runner live for the whole run. They are never destroyed:
// a hanging osascript must not hold up the program's exit.
struct Runtime {
    corvel::SerialQueue queue{"com.tilebay.Tilebay.applescript"};
    OsascriptRunner runner;
};

Runtime& runtime()
{
    static Runtime* shared = new Runtime;
    return *shared;
}

// Lines joined by a line feed, none after the last.
std::string joined(std::initializer_list<std::string_view> lines)
{
    std::string out;
    for (auto line : lines) {
        if (!out.empty()) out += '\n';
        out += line;
    }
    return out;
}

std::string utf8(const QString& text)
{
    return text.toStdString();
}

void queueRun(std::string source)
{
    runtime().queue.async([source = std::move(source)] { runtime().runner.run(source); });
}

}  // namespace

std::string listingScript()
{
    return joined({
        "tell application \"iTerm2\"",
        "  set fs to (ASCII character 31)",
        "  set rs to (ASCII character 30)",
        "  set out to \"\"",
        "  repeat with w in windows",
        "    repeat with t in tabs of w",
        "      repeat with s in sessions of t",
        "        try",
        "          set out to out & (id of s as string) & fs & (name of s as string) & fs & (contents of s) & rs",
        "        end try",
        "      end repeat",
        "    end repeat",
        "  end repeat",
        "  return out",
        "end tell",
    });
}

std::string activationScript(std::string_view guid)
{
    const std::string test = "        if (id of s as string) is \"" + escaped(guid) + "\" then";
    return joined({
        "tell application \"iTerm2\"",
        "  activate",
        "  repeat with w in windows",
        "    repeat with t in tabs of w",
        "      repeat with s in sessions of t",
        test,
        "          select w",
        "          select t",
        "          select s",
        "          return",
        "        end if",
        "      end repeat",
        "    end repeat",
        "  end repeat",
        "end tell",
    });
}

std::string sendTextScript(std::string_view guid, std::string_view text)
{
    const std::string test = "        if (id of s as string) is \"" + escaped(guid) + "\" then";
    const std::string write = "          tell s to write text \"" + escaped(text) + "\"";
    return joined({
        "tell application \"iTerm2\"",
        "  repeat with w in windows",
        "    repeat with t in tabs of w",
        "      repeat with s in sessions of t",
        test,
        write,
        "          return",
        "        end if",
        "      end repeat",
        "    end repeat",
        "  end repeat",
        "end tell",
    });
}

std::string escaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

std::vector<ITerm2SessionSnapshot> parseListing(std::string_view result)
{
    std::vector<ITerm2SessionSnapshot> sessions;
    size_t at = 0;
    while (at < result.size()) {
        const size_t end = std::min(result.find(kRecordSeparator, at), result.size());
        const std::string_view record = result.substr(at, end - at);
        at = end + 1;
        if (record.empty()) continue;

        std::string_view fields[3];
        size_t count = 0;
        size_t from = 0;
        while (count < 3) {
            const size_t cut = record.find(kFieldSeparator, from);
            if (cut == std::string_view::npos) {
                fields[count++] = record.substr(from);
                break;
            }
            fields[count++] = record.substr(from, cut - from);
            from = cut + 1;
        }
        if (count < 3) continue;
        sessions.push_back({QString::fromUtf8(fields[0].data(), static_cast<qsizetype>(fields[0].size())),
                            QString::fromUtf8(fields[1].data(), static_cast<qsizetype>(fields[1].size())),
                            QString::fromUtf8(fields[2].data(), static_cast<qsizetype>(fields[2].size()))});
    }
    return sessions;
}

void snapshot(std::function<void(std::vector<ITerm2SessionSnapshot>)> done)
{
    runtime().queue.async([done = std::move(done)]() mutable {
        std::vector<ITerm2SessionSnapshot> sessions;
        if (auto result = runtime().runner.run(listingScript())) sessions = parseListing(*result);
        corvel::DispatchQueue::main().async(
            [done = std::move(done), sessions = std::move(sessions)]() mutable { done(std::move(sessions)); });
    });
}

void activate(const QString& guid)
{
    queueRun(activationScript(utf8(guid)));
}

void sendText(const QString& guid, const QString& text)
{
    queueRun(sendTextScript(utf8(guid), utf8(text)));
}

void setTimeLimit(corvel::Nanos limit)
{
    runtime().runner.setTimeLimit(limit);
}

corvel::Nanos timeLimit()
{
    return runtime().runner.timeLimit();
}

}  // namespace tilebay::ITerm2AppleScript
