// The iTerm2 adapter over the stand-in osascript and helper: listing and
// remembering sessions, focus and typing by AppleScript or by the helper, the
// helper tried once before AppleScript serves, a poll outliving its adapter;
// and the mock adapter's placeholder.
#include "app/adapters/iterm2/ITerm2Adapter.h"
#include "app/adapters/mock/MockAdapter.h"

#include "AdapterTestSupport.h"

#include <gtest/gtest.h>

#include <QLabel>

#include <nlohmann/json.hpp>

using namespace tilebay;
using namespace tilebay::testing;
using Sessions = std::vector<ITerm2SessionSnapshot>;

namespace {

const Sessions kByAppleScript{{"AS-1", "zsh", "by AppleScript"}};
const Sessions kByHelper{{"PY-1", "py", "from the helper"}};

class AdapterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        osascript_.setReply("AS-1\x1fzsh\x1f" "by AppleScript\x1e");
        helper_.installInterpreter();
    }

    std::unique_ptr<ITerm2Adapter> adapter(const std::string& helperMode)
    {
        ITerm2PythonBridge::Options options;
        options.resourceDirectory = helper_.resources(helperMode);
        // A helper that never says hello is given up soon; every other wait
        // keeps its default, so that a busy machine cannot make it run out.
        if (helperMode == "no-hello") options.startTimeout = 150'000'000;
        return std::make_unique<ITerm2Adapter>(std::make_unique<ITerm2PythonBridge>(options));
    }

    Sessions poll(ITerm2Adapter& a)
    {
        auto result = pump_.await<Sessions>([&](auto done) { a.poll(done); });
        EXPECT_TRUE(result.has_value()) << "the poll never came back";
        return result.value_or(Sessions{});
    }

    MainQueuePump pump_;
    FakeOsascript osascript_;
    FakeHelper helper_;
};

}  // namespace

TEST_F(AdapterTest, PollListsByAppleScriptAndRemembersEverySession)
{
    auto a = adapter("normal");
    EXPECT_EQ(poll(*a), kByAppleScript);
    EXPECT_EQ(a->guidToContents.value("AS-1"), "by AppleScript");
    EXPECT_EQ(a->guidToName.value("AS-1"), "zsh");
    EXPECT_FALSE(a->bridgeChecked()) << "the helper is not tried while the Python interface is off";

    // A session that left the listing keeps its last contents.
    osascript_.setReply("");
    EXPECT_EQ(poll(*a), Sessions{});
    a->idToGuid.insert("cell1", "AS-1");
    EXPECT_EQ(a->visibleText("cell1"), "by AppleScript");
    EXPECT_EQ(a->visibleText("cell2"), "");
    EXPECT_EQ(a->cellContentView("cell1"), nullptr);
}

TEST_F(AdapterTest, FocusActivatesMappedSessionsAndRejectsUnknownOnes)
{
    auto a = adapter("normal");
    a->idToGuid.insert("cell1", "w0t1p0:G");
    try {
        a->focus("nope");
        ADD_FAILURE() << "focus of an unknown cell must raise";
    } catch (const AdapterError& e) {
        EXPECT_EQ(e, AdapterError::notFound("nope"));
    }
    a->sendText("nope", "ls");  // unmapped: nothing
    a->focus("cell1");
    a->sendText("cell1", "make");
    poll(*a);

    const auto scripts = osascript_.scripts();
    ASSERT_EQ(scripts.size(), 3u);
    EXPECT_NE(scripts[0].find("  activate\n"), std::string::npos);
    EXPECT_NE(scripts[0].find("is \"w0t1p0:G\" then"), std::string::npos);
    EXPECT_NE(scripts[1].find("is \"w0t1p0:G\" then\n          tell s to write text \"make\""), std::string::npos);
    EXPECT_EQ(scripts[2].find("activate"), std::string::npos);

    a->closeSession("cell1");
    EXPECT_FALSE(a->hasSession("cell1"));
    EXPECT_THROW(a->focus("cell1"), AdapterError);
}

TEST_F(AdapterTest, WithThePythonInterfaceTheHelperListsAndActivates)
{
    auto a = adapter("normal");
    a->usePythonAPI = true;
    EXPECT_EQ(poll(*a), kByHelper);
    EXPECT_EQ(a->guidToName.value("PY-1"), "py");
    a->idToGuid.insert("cell1", "PY-1");
    a->focus("cell1");
    EXPECT_EQ(poll(*a), kByHelper);

    const auto requests = helper_.requests("normal");
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(nlohmann::json::parse(requests[1]).value("method", ""), "activate");
    EXPECT_TRUE(osascript_.scripts().empty());
}

TEST_F(AdapterTest, TheHelperIsTriedOnceThenAppleScriptServes)
{
    auto silent = adapter("no-hello");
    silent->usePythonAPI = true;
    EXPECT_EQ(poll(*silent), kByAppleScript);
    EXPECT_TRUE(silent->bridgeChecked());
    EXPECT_EQ(poll(*silent), kByAppleScript);
    EXPECT_EQ(helper_.launches("no-hello"), 1u);

    // Killed in the middle of a listing: that poll and every later one use AppleScript.
    auto dying = adapter("die");
    dying->usePythonAPI = true;
    EXPECT_EQ(poll(*dying), kByAppleScript);
    EXPECT_FALSE(dying->bridge().isAvailable());
    EXPECT_EQ(poll(*dying), kByAppleScript);
    EXPECT_EQ(helper_.launches("die"), 1u);
    EXPECT_EQ(helper_.requests("die").size(), 1u);
    EXPECT_TRUE(noZombiesEventually());
}

TEST_F(AdapterTest, APollOutlivingItsAdapterIsDropped)
{
    auto a = adapter("normal");
    bool called = false;
    a->poll([&](Sessions) { called = true; });
    a.reset();
    // A later listing on the same queue comes back after the dropped one.
    auto b = adapter("normal");
    EXPECT_EQ(poll(*b), kByAppleScript);
    EXPECT_FALSE(called);
}

TEST(MockAdapterTest, ShowsAPlaceholderWithTheIdAndIgnoresFocus)
{
    ensureApplication();
    MockAdapter mock;
    EXPECT_NO_THROW(mock.focus("anything"));
    std::unique_ptr<QWidget> view(mock.cellContentView("cell-42"));
    auto* label = qobject_cast<QLabel*>(view.get());
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "mock\ncell-42");
    std::unique_ptr<QWidget> other(mock.cellContentView("x"));
    EXPECT_NE(other.get(), view.get()) << "every cell gets a view of its own";
}
