// The status classifier on a table of screens, silences and previous
// statuses, and a patterns file that replaces the defaults (bad patterns
// skipped, a malformed file ignored).
#include "app/status/StatusClassifier.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

using namespace tilebay;
using S = TerminalStatus;

TEST(StatusClassifier, QuestionsPromptsAndSilenceDecideTheStatus)
{
    struct Case {
        const char* screen;
        double silence;
        S previous, expected;
        const char* why;
    };
    const Case cases[] = {
        // Questions on screen mean waiting, even while output flows.
        {"Overwrite file.txt?\nContinue? (Y/N)", 0.2, S::running, S::waiting, "y/n"},
        {"Applying 3 changes.\nDO YOU WANT TO PROCEED?\n", 30, S::idle, S::waiting, "proceed, any case"},
        {"Pick one:\n\u276F 1. Yes\n  2. No\n\n", 5, S::running, S::waiting, "a menu"},
        {"press any key to continue", 3, S::unknown, S::waiting, "any key"},
        {"Press enter\nand wait to continue", 3, S::running, S::running, "one question spans one line"},
        {"Do you want to proceed", 3, S::running, S::running, "no question mark"},
        // A prompt on the last non-empty line means idle once output settled (1.5 s).
        {"total 0\nuser@host ~ % \n\n   \n\t", 2.0, S::running, S::idle, "zsh prompt"},
        {"total 0\nuser@host ~ % ", 1.4999, S::idle, S::running, "output not yet settled"},
        {"total 0\nuser@host ~ % ", 1.5, S::running, S::idle, "settled"},
        {"$ ls\na b\nuser@host:~$", 3, S::running, S::idle, "bash prompt"},
        {"~/src/tilebay main\n\u276F   ", 3, S::running, S::idle, "arrow prompt"},
        {"user@host:~$ echo $HOME", 3, S::running, S::running, "a dollar inside the line"},
        {"user@host:~$\nbuilding target 3/40", 3, S::running, S::running, "an old prompt above output"},
        // Otherwise silence decides, only past the idle threshold (8 s).
        {"[#########           ] 45% eta 0:12", 3, S::running, S::running, "progress"},
        {"[#########           ] 45% eta 0:12", 3, S::unknown, S::unknown, "progress, unknown"},
        {"[#########           ] 45% eta 0:12", 8, S::running, S::idle, "silent to the threshold"},
        {"", 100, S::running, S::idle, "empty and silent"},
        {"", 3, S::waiting, S::waiting, "empty, recent"},
        {"\n\n  \n", 3, S::unknown, S::unknown, "blank, recent"},
    };
    const StatusClassifier c;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.why);
        EXPECT_EQ(c.classify(QString::fromUtf8(k.screen), k.silence, 8, k.previous), k.expected);
    }
}

TEST(StatusClassifier, PatternsFileReplacesDefaultsAndSkipsBadPatterns)
{
    QTemporaryDir dir;
    auto write = [&](const char* name, const std::string& bytes) {
        const QString path = dir.filePath(name);
        std::ofstream(path.toStdString(), std::ios::binary) << bytes;
        return path;
    };

    // An unbalanced parenthesis is dropped; the patterns after it still apply.
    const StatusClassifier custom(write("custom.json", R"({
        "waiting": ["(unclosed", "approve\\?"],
        "shellPrompt": [">>>\\s*$"],
        "comment": "extra keys are ignored"})"));
    EXPECT_EQ(custom.waitingPatternCount(), 1u);
    EXPECT_EQ(custom.classify(u"Approve?", 0, 8, S::running), S::waiting);
    EXPECT_EQ(custom.classify(u"Continue? (y/n)", 0, 8, S::running), S::running);
    EXPECT_EQ(custom.classify(u"Python 3\n>>> ", 2, 8, S::running), S::idle);
    EXPECT_EQ(custom.classify(u"user@host:~$", 2, 8, S::running), S::running);

    // Anything malformed leaves both default lists in force.
    const auto defaults = StatusClassifier::Patterns::defaults();
    for (const std::string bad : {R"({"waiting": ["x"]})", R"({"waiting": ["x"], "shellPrompt": [1]})",
                                  R"({"waiting": "x", "shellPrompt": []})", "not json",
                                  R"([["x"], ["y"]])"}) {
        EXPECT_FALSE(StatusClassifier::Patterns::decode(QByteArray::fromStdString(bad))) << bad;
        const StatusClassifier fallback(write("bad.json", bad));
        EXPECT_EQ(fallback.waitingPatternCount(), defaults.waiting.size()) << bad;
        EXPECT_EQ(fallback.classify(u"(y/n)", 0, 8, S::idle), S::waiting) << bad;
    }
    const StatusClassifier missing(dir.filePath("absent.json"));
    EXPECT_EQ(missing.shellPromptPatternCount(), defaults.shellPrompt.size());

    // Empty lists are allowed and never match.
    const StatusClassifier empty(write("empty.json", R"({"waiting": [], "shellPrompt": []})"));
    EXPECT_EQ(empty.classify(u"(y/n)\n$ ", 2, 8, S::running), S::running);
}
