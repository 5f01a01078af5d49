#include "app/status/StatusClassifier.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

using namespace tilebay;
using S = TerminalStatus;

namespace {

QString screen(std::initializer_list<const char*> rows)
{
    QStringList lines;
    for (const char* r : rows) lines << QString::fromUtf8(r);
    return lines.join(u'\n');
}

}  // namespace

TEST(StatusClassifier, QuestionsOnScreenMeanWaitingEvenWhileOutputFlows)
{
    const StatusClassifier c;
    EXPECT_EQ(c.classify(screen({"Overwrite file.txt?", "Continue? (Y/N)"}), 0.2, 8, S::running),
              S::waiting);
    EXPECT_EQ(c.classify(screen({"Applying 3 changes.", "DO YOU WANT TO PROCEED?", ""}), 30, 8,
                         S::idle),
              S::waiting);
    EXPECT_EQ(c.classify(screen({"Pick one:", "\u276F 1. Yes", "  2. No", "", ""}), 5, 8,
                         S::running),
              S::waiting);
    EXPECT_EQ(c.classify(u"press any key to continue", 3, 8, S::unknown), S::waiting);
    // "Press" and "to continue" on different lines are not one question.
    EXPECT_EQ(c.classify(screen({"Press enter", "and wait to continue"}), 3, 8, S::running),
              S::running);
    // Without the question mark it is not the proceed question.
    EXPECT_EQ(c.classify(u"Do you want to proceed", 3, 8, S::running), S::running);
}

TEST(StatusClassifier, PromptsMeanIdleOnceOutputSettled)
{
    const StatusClassifier c;
    const QString zsh = screen({"total 0", "user@host ~ % ", "", "   ", "\t"});
    EXPECT_EQ(c.classify(zsh, 2.0, 8, S::running), S::idle);
    EXPECT_EQ(c.classify(zsh, 1.0, 8, S::idle), S::running);
    EXPECT_EQ(c.classify(zsh, 1.4999, 8, S::idle), S::running);
    EXPECT_EQ(c.classify(zsh, 1.5, 8, S::running), S::idle);

    EXPECT_EQ(c.classify(screen({"$ ls", "a b", "user@host:~$"}), 3, 8, S::running), S::idle);
    EXPECT_EQ(c.classify(screen({"~/src/tilebay main", "\u276F   "}), 3, 8, S::running), S::idle);
    // A dollar sign inside the last line (a command naming a variable) is no prompt.
    EXPECT_EQ(c.classify(screen({"user@host:~$ echo $HOME"}), 3, 8, S::running), S::running);
    // Only the last non-empty line counts: an old prompt above output does not.
    EXPECT_EQ(c.classify(screen({"user@host:~$", "building target 3/40"}), 3, 8, S::running),
              S::running);
}

TEST(StatusClassifier, SilenceDecidesOnlyPastTheIdleThreshold)
{
    const StatusClassifier c;
    const QString progress = QStringLiteral("[#########           ] 45% eta 0:12");
    EXPECT_EQ(c.classify(progress, 3, 8, S::running), S::running);
    EXPECT_EQ(c.classify(progress, 3, 8, S::unknown), S::unknown);
    EXPECT_EQ(c.classify(progress, 8, 8, S::running), S::idle);
    EXPECT_EQ(c.classify(u"", 100, 8, S::running), S::idle);
    EXPECT_EQ(c.classify(u"", 3, 8, S::waiting), S::waiting);
    EXPECT_EQ(c.classify(u"\n\n  \n", 3, 8, S::unknown), S::unknown);
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
