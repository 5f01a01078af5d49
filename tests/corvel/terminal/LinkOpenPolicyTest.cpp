// Which links may be opened: web and mail schemes, and local files that
// cannot run.
#include "corvel/terminal/LinkOpenPolicy.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace corvel {
namespace {

using linkpolicy::decide;

TEST(LinkOpenPolicy, WebAndMailSchemesOpenOthersAreRefusedWithOneLine)
{
    for (const char* link : {"http://example.com/a?b=c", "HTTPS://example.com", "mailto:someone@example.com",
                             "ftp://files.example.com/pub"}) {
        const auto d = decide(link);
        EXPECT_TRUE(d.open) << link;
        EXPECT_TRUE(d.diagnostic.empty()) << link;
    }
    for (const char* link : {"javascript:alert(1)", "ssh://host", "x-scheme-handler:run", "data:text/html,hi",
                             "www.example.com", "", "http:", "http://exa mple.com", "http://a\nb", ":nothing",
                             "1http://x"}) {
        const auto d = decide(link);
        EXPECT_FALSE(d.open) << link;
        EXPECT_FALSE(d.diagnostic.empty()) << link;
        EXPECT_EQ(d.diagnostic.find('\n'), std::string::npos) << link;
    }
    EXPECT_EQ(linkpolicy::scheme("Mailto:x"), "mailto");
    EXPECT_FALSE(linkpolicy::scheme("no-colon"));
}

class FileLinks : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/linkpolicyXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
    std::string make(const std::string& name, mode_t mode)
    {
        const std::string path = dir + "/" + name;
        std::ofstream(path) << "#!/bin/sh\necho hi\n";
        chmod(path.c_str(), mode);
        return path;
    }
    std::string dir;
};

TEST_F(FileLinks, OnlyFilesThatCannotRunOpen)
{
    const std::string text = make("notes with space.txt", 0644);
    const std::string script = make("run.sh", 0755);
    const std::string groupExec = make("tool", 0610);
    const std::string launcher = make("app.desktop", 0644);

    EXPECT_TRUE(decide("file://" + dir + "/notes%20with%20space.txt").open);
    EXPECT_TRUE(decide("file://localhost" + dir + "/notes%20with%20space.txt#top").open);
    EXPECT_TRUE(decide("file:" + dir).open) << "a folder opens";
    EXPECT_FALSE(decide("file://" + script).open);
    EXPECT_FALSE(decide("file://" + groupExec).open);
    EXPECT_FALSE(decide("file://" + launcher).open);
    EXPECT_FALSE(decide("file://" + dir + "/missing").open);
    EXPECT_FALSE(decide("file://otherhost" + text).open);
    EXPECT_FALSE(decide("file://" + dir + "/run%2").open);
    // A link through a symbolic link is judged by its target.
    const std::string link = dir + "/innocent.txt";
    ASSERT_EQ(symlink(script.c_str(), link.c_str()), 0);
    EXPECT_FALSE(decide("file://" + link).open);
    EXPECT_EQ(linkpolicy::filePath("file:///a%2Fb%25c"), "/a/b%c");
    EXPECT_FALSE(linkpolicy::filePath("file:///a%00b"));
}

}  // namespace
}  // namespace corvel
