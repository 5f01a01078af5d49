// Which cell ids tmux keeps in their session names: a table of ids that tmux
// keeps and ids it changes (punctuation it replaces, escapes, format
// expansions, a final ';', control and unassigned characters, ill-formed
// UTF-8), checked against the rule and against the real tmux (its sockets in
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
    bool kept;
};

const std::vector<Sample> samples{
    // Kept: what NanoID makes, punctuation tmux leaves alone, printable
    // characters beyond ASCII, marks and format characters.
    {"V1StGXR8_Z5jdH", true}, {"B-_", true}, {"", true}, {"a b;c,d{e}", true}, {"a*b?c[d]=e@f%g", true},
    {"a\"b'c`d~!^&()+|<>/", true}, {"a#", true}, {"a#b#1#[", true}, {"a$", true}, {"a$1$-$\xC3\xA9", true},
    {"\xED\x95\x9C\xF0\x9F\x98\x80", true}, {"e\xCC\x81", true}, {"\xC2\xA0\xE2\x80\x8B\xEE\x80\x80", true},
    // Changed: '.' and ':' become '_'; escapes; format expansions; a final
    // ';' ends tmux's command; C1 control, separators, unassigned
    // characters, ill-formed UTF-8.
    {"a4.dot:col", false}, {"a.b", false}, {"a:b", false}, {"a\\b", false}, {"a\tb", false}, {"a\x7F", false},
    {"a$a", false}, {"a$Z", false}, {"a$_", false}, {"a${b}", false}, {"a##", false}, {"a#S", false},
    {"a#h", false}, {"a#{b", false}, {"a#(b", false}, {"a#,b", false}, {"a#}b", false}, {"a;", false},
    {"\xC2\x80", false}, {"\xE2\x80\xA8", false}, {"\xCD\xB8", false}, {"\xEF\xBF\xBE", false},
    {"\xFF", false}, {"\xC0\xAF", false}, {"\xED\xA0\x80", false}, {"a\xC3", false},
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
        EXPECT_EQ(made.count(names[i]) == 1, samples[i].kept) << shown(samples[i].id);
        EXPECT_EQ(TmuxSessionName::keptByTmux(names[i]), samples[i].kept) << shown(samples[i].id);
    }

    // A kept name also finds its session, and only that one, in the commands
    // that name it.
    for (size_t i = 0; i < names.size(); ++i) {
        if (!samples[i].kept) continue;
        EXPECT_TRUE(PTYProcess::tmuxSessionExists(kTmux, names[i], kHangGuard)) << shown(samples[i].id);
        PTYProcess::killTmuxSession(kTmux, names[i], kHangGuard);
        EXPECT_FALSE(PTYProcess::tmuxSessionExists(kTmux, names[i], kHangGuard)) << shown(samples[i].id);
    }
    tmux({"kill-server"});
    EXPECT_TRUE(noZombiesEventually());
}
