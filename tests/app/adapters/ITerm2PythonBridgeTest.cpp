// The iTerm2 helper bridge: line framing, the reply protocol, and the bridge
// against the stand-in helper (no interpreter or script, a hello in pieces,
// noise, request ids, limits and late replies, a helper that dies or stops
// reading), with every child reaped.
#include "app/adapters/iterm2/ITerm2HelperProtocol.h"
#include "app/adapters/iterm2/ITerm2PythonBridge.h"
#include "app/adapters/iterm2/LineFramer.h"

#include "AdapterTestSupport.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

using namespace tilebay;
using namespace tilebay::testing;
using nlohmann::json;
using Sessions = std::vector<ITerm2SessionSnapshot>;
using MaybeSessions = std::optional<Sessions>;

namespace {

constexpr corvel::Nanos kShort = 150'000'000;

class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override { helper_.installInterpreter(); }

    // Only waits a test expects to run out are short: the hello's, or the
    // requests'. One that must end in an answer keeps its default, so that
    // a busy machine cannot make it run out.
    enum class Short { none, hello, requests };
    std::unique_ptr<ITerm2PythonBridge> bridge(const std::string& mode, Short limits = Short::none)
    {
        ITerm2PythonBridge::Options options;
        options.resourceDirectory = helper_.resources(mode);
        if (limits == Short::hello) options.startTimeout = kShort;
        if (limits == Short::requests) options.snapshotTimeout = options.activateTimeout = kShort;
        return std::make_unique<ITerm2PythonBridge>(options);
    }

    MaybeSessions list(ITerm2PythonBridge& b)
    {
        auto result = pump_.await<MaybeSessions>([&](auto done) { b.snapshot(done); });
        EXPECT_TRUE(result.has_value()) << "the listing never came back";
        return result.value_or(MaybeSessions{});
    }

    MainQueuePump pump_;
    FakeHelper helper_;
};

const Sessions kDefault{{"PY-1", "py", "from the helper"}};

}  // namespace

TEST(LineFramerTest, LinesAreCutAtLineFeedsHoweverTheBytesArrive)
{
    LineFramer framer;
    std::vector<std::string> lines;
    const auto take = [&](std::string_view line) { lines.emplace_back(line); };
    framer.append("{\"id\":0,", take);
    EXPECT_TRUE(lines.empty());
    framer.append("\"result\":1}\n{\"id\":1}\n{\"id\":2}\n{\"i", take);
    EXPECT_EQ(lines, (std::vector<std::string>{"{\"id\":0,\"result\":1}", "{\"id\":1}", "{\"id\":2}"}));
    EXPECT_EQ(framer.pending(), "{\"i");
    framer.append("d\":3}\n\n", take);
    EXPECT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[3], "{\"id\":3}");
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(framer.pending(), "");
}

TEST(HelperProtocolTest, OnlyObjectsWithAnIntegerIdAreReplies)
{
    using ITerm2HelperProtocol::decodeReply;
    for (const char* bad : {"", "not json", "[1,2]", "{\"id\":\"1\"}", "{\"id\":1.5}", "{\"result\":[]}",
                            "{\"id\":1", "{\"id\":18446744073709551615}", "null"})
        EXPECT_FALSE(decodeReply(bad)) << bad;
    const auto reply = decodeReply("{\"id\":7,\"result\":null}");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->id, 7);
    EXPECT_TRUE(reply->object.contains("result"));

    EXPECT_EQ(json::parse(ITerm2HelperProtocol::requestLine({{"method", "snapshot"}}, 3)),
              (json{{"method", "snapshot"}, {"id", 3}}));
    const std::string invalid = "\xff";
    const std::string line = ITerm2HelperProtocol::requestLine({{"method", "activate"}, {"guid", invalid}}, 4);
    EXPECT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1);
}

TEST(HelperProtocolTest, SnapshotResultsMustBeListsOfObjects)
{
    using ITerm2HelperProtocol::snapshotsFromReply;
    EXPECT_EQ(snapshotsFromReply(json{{"id", 1}, {"result", json::array()}}), Sessions{});
    EXPECT_FALSE(snapshotsFromReply(json{{"id", 1}, {"result", "sessions"}}));
    EXPECT_FALSE(snapshotsFromReply(json{{"id", 1}}));
    EXPECT_FALSE(snapshotsFromReply(json{{"id", 1}, {"result", json::array({1})}}));
    EXPECT_EQ(snapshotsFromReply(json::parse(
                  R"({"id":1,"result":[{"guid":"g1","contents":"c"},{"guid":7,"name":"n","contents":null},{}]})")),
              (Sessions{{"g1", "", "c"}, {"", "n", ""}, {"", "", ""}}));
}

TEST_F(BridgeTest, WithoutInterpreterOrScriptNothingStarts)
{
    ITerm2PythonBridge::Options options;
    options.resourceDirectory = helper_.resources("normal") / "nowhere";
    EXPECT_FALSE(ITerm2PythonBridge(options).startIfNeeded());
    EXPECT_EQ(helper_.launches("normal"), 0u);

    std::filesystem::remove(*ITerm2PythonBridge::venvPython());
    EXPECT_FALSE(ITerm2PythonBridge::venvPython());
    auto b = bridge("normal");
    EXPECT_FALSE(b->startIfNeeded());
    EXPECT_FALSE(b->isAvailable());
    EXPECT_EQ(helper_.launches("normal"), 0u);
}

TEST_F(BridgeTest, HelloInPiecesAndNoisyOutputAreUnderstood)
{
    auto split = bridge("split-hello");
    ASSERT_TRUE(split->startIfNeeded());
    EXPECT_TRUE(split->startIfNeeded()) << "a running helper is kept";
    EXPECT_EQ(helper_.launches("split-hello"), 1u);
    EXPECT_EQ(list(*split), kDefault);

    // Malformed lines are skipped, and a reply that nobody waits for is dropped.
    auto noisy = bridge("noise");
    ASSERT_TRUE(noisy->startIfNeeded());
    EXPECT_EQ(list(*noisy), kDefault);
    EXPECT_EQ(list(*noisy), kDefault);
    EXPECT_EQ(noisy->heldReplyCount(), 0u);
}

TEST_F(BridgeTest, RequestIdsCountUpAcrossMethods)
{
    auto b = bridge("normal");
    ASSERT_TRUE(b->startIfNeeded());
    b->activate("w0t0p0:\"X\"");
    EXPECT_EQ(list(*b), kDefault);
    EXPECT_EQ(list(*b), kDefault);

    const auto lines = helper_.requests("normal");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(json::parse(lines[0]), (json{{"method", "activate"}, {"guid", "w0t0p0:\"X\""}, {"id", 1}}));
    EXPECT_EQ(json::parse(lines[1]), (json{{"method", "snapshot"}, {"id", 2}}));
    EXPECT_EQ(json::parse(lines[2]), (json{{"method", "snapshot"}, {"id", 3}}));
}

TEST_F(BridgeTest, AHelloWithoutResultOrNoHelloLeavesTheBridgeUnavailable)
{
    auto withoutResult = bridge("no-result");
    EXPECT_FALSE(withoutResult->startIfNeeded());
    EXPECT_FALSE(withoutResult->isAvailable());
    EXPECT_EQ(list(*withoutResult), std::nullopt);

    auto silent = bridge("no-hello", Short::hello);
    EXPECT_FALSE(silent->startIfNeeded());
    EXPECT_FALSE(silent->isAvailable());
    EXPECT_TRUE(noZombiesEventually());
    EXPECT_TRUE(helper_.requests("no-result").empty()) << "nothing is asked of a helper that was stopped";
}

TEST_F(BridgeTest, RequestsGiveUpAtTheirLimitsAndLateRepliesAreDropped)
{
    auto silent = bridge("silent", Short::requests);
    ASSERT_TRUE(silent->startIfNeeded());
    silent->activate("A");  // queued first: the listing runs only after it gave up
    EXPECT_EQ(list(*silent), std::nullopt);
    EXPECT_EQ(helper_.requests("silent").size(), 2u);
    EXPECT_TRUE(silent->isAvailable()) << "a slow helper is not a dead one";

    // The second listing must be answered: the limits stay long, and the
    // first listing waits out its whole limit.
    auto late = bridge("late");
    ASSERT_TRUE(late->startIfNeeded());
    EXPECT_EQ(list(*late), std::nullopt);  // held by the helper past the limit
    EXPECT_EQ(list(*late), kDefault);      // arrives in one write with the late reply
    EXPECT_EQ(late->heldReplyCount(), 0u);
}

TEST_F(BridgeTest, AHelperThatDiesOrClosesItsInputDoesNotHarmTheApplication)
{
    auto dying = bridge("die");
    ASSERT_TRUE(dying->startIfNeeded());
    EXPECT_EQ(list(*dying), std::nullopt);
    EXPECT_FALSE(dying->isAvailable());
    EXPECT_EQ(list(*dying), std::nullopt);
    EXPECT_EQ(helper_.requests("die").size(), 1u) << "no request is sent to an ended helper";
    EXPECT_TRUE(noZombiesEventually());

    auto deaf = bridge("close-input");
    ASSERT_TRUE(deaf->startIfNeeded());
    EXPECT_EQ(list(*deaf), std::nullopt);
    deaf->stop();
    EXPECT_FALSE(deaf->isAvailable());
    deaf.reset();
    EXPECT_TRUE(zombieChildren().empty());
}
