// Which cell ids surely keep their session names in tmux: a table of ids
// that tmux keeps and ids it changes (punctuation it replaces, escapes,
// format expansions, a final ';', control and unassigned characters,
// ill-formed UTF-8), checked against the rule (which takes nothing beyond
// ASCII, nor a long id, for sure) and against the real tmux (its sockets in
// a temporary folder, its server killed after the test), where every kept
// name is also found and killed by name.
#include "app/persistence/TmuxSessionName.h"

#include "tests/app/adapters/AdapterTestSupport.h"

#include <gtest/gtest.h>

#include <set>

using namespace tilebay;
using namespace tilebay::testing;

namespace {

struct Sample {
    std::string id;
    // The rule keeps it.
    bool kept;
    // This tmux keeps it (beyond ASCII the rule is surer than any one tmux).
    bool tmuxKeeps;
};

const std::vector<Sample> samples{
    // Kept: what NanoID makes, punctuation tmux leaves alone, '#' and '$'
    // where tmux takes them literally.
    {"V1StGXR8_Z5jdH", true, true}, {"B-_", true, true}, {"", true, true}, {"a b;c,d{e}", true, true},
    {"a*b?c[d]=e@f%g", true, true}, {"a\"b'c`d~!^&()+|<>/", true, true}, {"a#", true, true},
    {"a#b#1#[", true, true}, {"a$", true, true}, {"a$1$-$", true, true},
    // Printable characters beyond ASCII, marks and format characters: this
    // tmux keeps them, but whether a tmux can print a character depends on
    // the Unicode tables it was built with, so the rule does not.
    {"\xED\x95\x9C\xF0\x9F\x98\x80", false, true}, {"e\xCC\x81", false, true},
    {"\xC2\xA0\xE2\x80\x8B\xEE\x80\x80", false, true}, {"a$\xC3\xA9", false, true},
    // Changed: '.' and ':' become '_'; escapes; format expansions (among
    // them every alias of one letter); a final ';' ends tmux's command; C1
    // control, separators, unassigned characters, ill-formed UTF-8.
    {"a4.dot:col", false, false}, {"a.b", false, false}, {"a:b", false, false}, {"a\\b", false, false},
    {"a\tb", false, false}, {"a\x7F", false, false}, {"a$a", false, false}, {"a$Z", false, false},
    {"a$_", false, false}, {"a${b}", false, false}, {"a##", false, false}, {"a#D", false, false},
    {"a#F", false, false}, {"a#H", false, false}, {"a#I", false, false}, {"a#P", false, false},
    {"a#S", false, false}, {"a#T", false, false}, {"a#W", false, false}, {"a#h", false, false},
    {"a#{b", false, false}, {"a#(b", false, false}, {"a#,b", false, false}, {"a#}b", false, false},
    {"a;", false, false}, {"\xC2\x80", false, false}, {"\xE2\x80\xA8", false, false},
    {"\xE2\x80\xA9", false, false}, {"\xCD\xB8", false, false}, {"\xEF\xBF\xBE", false, false},
    {"\xFF", false, false}, {"\xC0\xAF", false, false}, {"\xED\xA0\x80", false, false},
    {"a\xC3", false, false},
    // The last C0 control, which tmux writes as "\037".
    {"a\x1F" "b", false, false},
};

std::string shown(const std::string& id)
{
    std::string out;
    for (const unsigned char c : id) {
        char hex[8];
        std::snprintf(hex, sizeof hex, c < 0x20 || c >= 0x7F ? "\\x%02X" : "%c", c);
        out += hex;
    }
    return out;
}

}  // namespace

TEST(TmuxSessionName, CellIdsTmuxKeepsAndChanges)
{
    EXPECT_EQ(TmuxSessionName::ofCell("a4pre"), "cwr_a4pre");
    EXPECT_FALSE(TmuxSessionName::keptByTmux(""));
    for (const auto& sample : samples)
        EXPECT_EQ(TmuxSessionName::fitsCellId(sample.id), sample.kept) << shown(sample.id);
    // Long ids would take tmux's command line past what it accepts.
    EXPECT_TRUE(TmuxSessionName::fitsCellId(std::string(TmuxSessionName::maxCellIdBytes, 'x')));
    EXPECT_FALSE(TmuxSessionName::fitsCellId(std::string(TmuxSessionName::maxCellIdBytes + 1, 'x')));
    EXPECT_FALSE(TmuxSessionName::fitsCellId(std::string(17000, 'x')));
}

TEST(TmuxSessionName, RealTmuxKeepsExactlyTheNamesTheRuleKeeps)
{
    if (!fs::exists(kTmux)) GTEST_SKIP() << "tmux is not installed";
    TempDir dir;
    ScopedEnv tmuxDir("TMUX_TMPDIR", dir.path().string());
    ScopedEnv shell("SHELL", "/bin/sh");

    // Each name tagged with its index, so no two samples can end up with one
    // session name.
    std::vector<std::string> names;
    for (size_t i = 0; i < samples.size(); ++i) {
        names.push_back(TmuxSessionName::ofCell(std::to_string(i) + "_" + samples[i].id));
        tmux({"new-session", "-d", "-s", names.back()});
    }
    std::set<std::string> made;
    std::istringstream listing(tmux({"list-sessions", "-F", "#{session_name}"}).output);
    for (std::string line; std::getline(listing, line);) made.insert(line);
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(made.count(names[i]) == 1, samples[i].tmuxKeeps) << shown(samples[i].id);
        EXPECT_EQ(TmuxSessionName::keptByTmux(names[i]), samples[i].kept) << shown(samples[i].id);
    }

    // A kept name also finds its session, and only that one, in the commands
    // that name it.
    for (size_t i = 0; i < names.size(); ++i) {
        if (!samples[i].tmuxKeeps) continue;
        EXPECT_TRUE(PTYProcess::tmuxSessionExists(kTmux, names[i], kHangGuard)) << shown(samples[i].id);
        PTYProcess::killTmuxSession(kTmux, names[i], kHangGuard);
        EXPECT_FALSE(PTYProcess::tmuxSessionExists(kTmux, names[i], kHangGuard)) << shown(samples[i].id);
    }
    tmux({"kill-server"});
    EXPECT_TRUE(noZombiesEventually());
}
