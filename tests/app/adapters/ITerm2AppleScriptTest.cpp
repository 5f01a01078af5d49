// The AppleScript side of the iTerm2 adapter through the stand-in osascript:
// scripts in queue order with their values quoted (an id cannot end its
// literal), the listing parsed tolerantly, failures and hangs (killed at the
// limit, reaped) giving empty lists, and a missing osascript logged once.
#include "app/adapters/iterm2/ITerm2AppleScript.h"
#include "app/adapters/iterm2/OsascriptRunner.h"

#include "AdapterTestSupport.h"

#include "corvel/platform/Log.h"

#include <gtest/gtest.h>

using namespace tilebay;
using namespace tilebay::testing;
using Sessions = std::vector<ITerm2SessionSnapshot>;

namespace {

// The AppleScript string literal that opens at `script[open]` (a double
// quote): its value and the index just after its closing quote.
std::pair<std::string, size_t> literalAt(const std::string& script, size_t open)
{
    std::string value;
    for (size_t i = open + 1; i < script.size(); ++i) {
        if (script[i] == '\\' && i + 1 < script.size()) value += script[++i];
        else if (script[i] == '"') return {value, i + 1};
        else value += script[i];
    }
    return {value, std::string::npos};
}

Sessions listNow(MainQueuePump& pump)
{
    auto result = pump.await<Sessions>([](auto done) { ITerm2AppleScript::snapshot(done); });
    EXPECT_TRUE(result.has_value()) << "the listing never came back";
    return result.value_or(Sessions{});
}

class AppleScriptTest : public ::testing::Test {
protected:
    MainQueuePump pump_;
    FakeOsascript osascript_;
};

}  // namespace

TEST_F(AppleScriptTest, ScriptsReachOsascriptInQueueOrderWithTheirValuesQuoted)
{
    ITerm2AppleScript::activate("w0t0p0:ABC");
    ITerm2AppleScript::sendText("w0t0p0:ABC", "ls -la");
    ITerm2AppleScript::sendText("w0t0p0:ABC", "a\\\"b");  // backslash, quote
    listNow(pump_);

    const auto scripts = osascript_.scripts();
    ASSERT_EQ(scripts.size(), 4u);
    EXPECT_NE(scripts[0].find("  activate\n"), std::string::npos);
    EXPECT_NE(scripts[0].find("if (id of s as string) is \"w0t0p0:ABC\" then\n          select w\n"), std::string::npos);
    EXPECT_EQ(scripts[1].find("activate"), std::string::npos);
    EXPECT_NE(scripts[1].find("is \"w0t0p0:ABC\" then\n          tell s to write text \"ls -la\"\n"), std::string::npos);
    EXPECT_NE(scripts[2].find("write text \"a\\\\\\\"b\"\n"), std::string::npos);
    EXPECT_EQ(scripts[3], ITerm2AppleScript::listingScript());
    // The listing separates fields and records as parseListing reads them.
    EXPECT_NE(scripts[3].find("set fs to (ASCII character 31)\n  set rs to (ASCII character 30)\n"), std::string::npos);
    EXPECT_NE(scripts[3].find("(id of s as string) & fs & (name of s as string) & fs & (contents of s) & rs"),
              std::string::npos);
}

TEST_F(AppleScriptTest, AnIdCannotEndItsStringLiteralAndAddScript)
{
    const std::string guid = "\" & do shell script \"touch x";
    const std::string text = "echo \\\" done";
    ITerm2AppleScript::activate(QString::fromStdString(guid));
    ITerm2AppleScript::sendText(QString::fromStdString(guid), QString::fromStdString(text));
    listNow(pump_);

    const auto scripts = osascript_.scripts();
    ASSERT_EQ(scripts.size(), 3u);
    for (const std::string* script : {&scripts[0], &scripts[1]}) {
        const size_t open = script->find("is \"") + 3;
        const auto [value, after] = literalAt(*script, open);
        EXPECT_EQ(value, guid);
        ASSERT_NE(after, std::string::npos);
        EXPECT_EQ(script->substr(after, 6), " then\n");
        EXPECT_EQ(script->find("do shell script"), open + 6) << "only inside the literal";
    }
    const size_t textOpen = scripts[1].find("write text \"") + 11;
    const auto [value, after] = literalAt(scripts[1], textOpen);
    EXPECT_EQ(value, text);
    EXPECT_EQ(scripts[1].substr(after, 17), "\n          return");
}

TEST(AppleScriptListing, RecordsAndFieldsAreReadTolerantly)
{
    const auto parse = [](std::string_view s) { return ITerm2AppleScript::parseListing(s); };
    EXPECT_EQ(parse("A\x1fshell\x1ftext\x1e"), (Sessions{{"A", "shell", "text"}}));
    EXPECT_EQ(parse(""), Sessions{});
    EXPECT_EQ(parse("\x1e\x1e"), Sessions{});
    // Two fields skipped, four cut to three, the empty tail and an unterminated last record.
    EXPECT_EQ(parse("A\x1f" "B\x1e" "C\x1f" "D\x1f" "E\x1f" "F\x1e" "G\x1f\x1f\x1e" "H\x1fI\x1fJ"),
              (Sessions{{"C", "D", "E"}, {"G", "", ""}, {"H", "I", "J"}}));
    // Contents keep their line feeds and any other text.
    EXPECT_EQ(parse("w0:1\x1f" "수정\x1f" "line 1\nline 2\n\x1e"),
              (Sessions{{"w0:1", QString::fromUtf8("수정"), "line 1\nline 2\n"}}));
}

TEST_F(AppleScriptTest, ListingResultComesBackParsedAndFailuresGiveEmptyLists)
{
    osascript_.setReply("A\x1fshell\x1ftext\x1e" "B\x1fonly two\x1e" "C\x1fvim\x1f\x1f" "extra\x1e");
    EXPECT_EQ(listNow(pump_), (Sessions{{"A", "shell", "text"}, {"C", "vim", ""}}));

    corvel::log::Capture log;
    osascript_.setMode("fail");
    EXPECT_EQ(listNow(pump_), Sessions{});
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0],
              "Tilebay: iTerm2 AppleScript 오류 — execution error: iTerm got an error: Application isn’t "
              "running. (-600)");
}

TEST_F(AppleScriptTest, AHangingRunIsKilledAtTheLimitAndReaped)
{
    corvel::log::Capture log;
    osascript_.setMode("hang");
    const corvel::Nanos saved = ITerm2AppleScript::timeLimit();
    ITerm2AppleScript::setTimeLimit(100'000'000);
    EXPECT_EQ(listNow(pump_), Sessions{});
    ITerm2AppleScript::setTimeLimit(saved);
    EXPECT_EQ(log.count("Tilebay: iTerm2 AppleScript 오류 — osascript did not finish within the time limit"), 1u);
    EXPECT_TRUE(noZombiesEventually());

    // The queue goes on with the next run.
    osascript_.setMode("reply");
    osascript_.setReply("A\x1f" "b\x1f" "c\x1e");
    EXPECT_EQ(listNow(pump_).size(), 1u);
}

TEST_F(AppleScriptTest, AnOsascriptThatStopsReadingDoesNotEndTheApplication)
{
    osascript_.setMode("exit-early");
    // Far more than a socket buffer holds: the write meets a closed reader.
    ITerm2AppleScript::sendText("A", QString(4 << 20, QChar('x')));
    EXPECT_EQ(listNow(pump_), Sessions{});
    EXPECT_TRUE(noZombiesEventually());
}

TEST(OsascriptRunnerTest, AMissingProgramIsLoggedOncePerRunner)
{
    corvel::log::Capture log;
    OsascriptRunner runner("tilebay-no-such-osascript");
    EXPECT_FALSE(runner.run("return 1"));
    EXPECT_FALSE(runner.run("return 1"));
    EXPECT_EQ(log.lines(),
              std::vector<std::string>{"Tilebay: iTerm2 AppleScript 오류 — tilebay-no-such-osascript not found"});
}
