// The image store through the terminal: ids handed out for image numbers,
// replacing, the byte limit with each image's bookkeeping, and the cap on an
// open chunked transfer.
#include "corvel/kitty/KittyGraphicsState.h"
#include "KittyGraphicsTestSupport.h"

#include "corvel/kitty/KittyGraphicsPending.h"
#include "corvel/kitty/KittyGraphicsStore.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/corvel/support/ProcessMemory.h"

using namespace corvel;
using corvel::testing::base64Of;
using corvel::testing::KittyTerminal;

namespace {

// One RGBA pixel: 4 bytes in the store.
constexpr const char* kPixel = "YWJjZA==";

KittyPlacementRecord placementOf(uint32_t imageId)
{
    KittyPlacementRecord record;
    record.imageId = imageId;
    record.placementId = 1;
    return record;
}

}  // namespace

TEST(KittyGraphicsStore, ImageNumbersGetFreshIdsThatNeverReplaceAnImage)
{
    KittyTerminal kitty;
    auto& state = kitty.terminal.kittyGraphicsState;
    kitty.command("a=t,I=7,s=1,v=1", kPixel);
    EXPECT_EQ(kitty.lastReply(), "Gi=1,I=7;OK");
    kitty.command("a=t,I=7,s=1,v=1,p=4", kPixel);
    EXPECT_EQ(kitty.lastReply(), "Gi=2,I=7,p=4;OK");
    EXPECT_EQ(state.imageNumbers.at(7), 2u);
    EXPECT_EQ(state.imagesById.size(), 2u);

    // Ids held by a client's image or by a placement record are skipped.
    KittyTerminal other;
    auto& otherState = other.terminal.kittyGraphicsState;
    other.command("a=t,i=2,s=1,v=1", kPixel);
    otherState.placementsByKey[{4, 1}] = placementOf(4);
    for (const char* expected : {"Gi=1,I=9;OK", "Gi=3,I=9;OK", "Gi=5,I=9;OK"}) {
        other.command("a=t,I=9,s=1,v=1", kPixel);
        EXPECT_EQ(other.lastReply(), expected);
    }
    // The counter wraps past 0.
    otherState.nextImageId = 4294967295u;
    EXPECT_EQ(assignKittyImageId(otherState), 4294967295u);
    EXPECT_EQ(assignKittyImageId(otherState), 6u);

    // A failed transmission takes no id.
    other.command("a=t,I=9,s=2,v=1", kPixel);
    other.command("a=t,I=9,s=1,v=1", kPixel);
    EXPECT_EQ(other.lastReply(), "Gi=7,I=9;OK");
}

TEST(KittyGraphicsStore, ReplacingAnImageKeepsTheByteTotalExact)
{
    KittyTerminal kitty;
    auto& state = kitty.terminal.kittyGraphicsState;
    kitty.command("a=t,i=5,s=2,v=1", base64Of(std::string(8, 'a')));
    kitty.command("a=t,i=5,s=1,v=1", kPixel);
    EXPECT_EQ(state.totalImageBytes, 4);
    EXPECT_EQ(state.imagesById.at(5).lastAccessTick, 2u);
    // A put refreshes the access tick.
    kitty.command("a=p,i=5");
    EXPECT_EQ(state.imagesById.at(5).lastAccessTick, 3u);

    // A reset empties the store and restarts the ticks, not the id counter.
    kitty.command("a=t,I=1,s=1,v=1", kPixel);
    kitty.terminal.feed("\x1b" "c");
    EXPECT_TRUE(state.imagesById.empty());
    EXPECT_EQ(state.totalImageBytes, 0);
    kitty.command("a=t,I=1,s=1,v=1", kPixel);
    EXPECT_EQ(kitty.lastReply(), "Gi=2,I=1;OK");
    EXPECT_EQ(state.imagesById.at(2).lastAccessTick, 1u);
}

TEST(KittyGraphicsStore, EveryChangeMovesTheMutationCountAndEachStoreIsANewGeneration)
{
    KittyTerminal kitty;
    auto& state = kitty.terminal.kittyGraphicsState;
    kitty.command("a=t,i=5,s=1,v=1", kPixel);
    const uint64_t first = state.imagesById.at(5).generation;
    const uint64_t count = state.mutationCount;
    // The same payload again under the same id: counts and ids as they were.
    kitty.command("a=t,i=5,s=1,v=1", kPixel);
    EXPECT_GT(state.mutationCount, count);
    EXPECT_NE(state.imagesById.at(5).generation, first);
    const uint64_t beforeReset = state.mutationCount;
    kitty.terminal.feed("\x1b" "c");
    EXPECT_GT(state.mutationCount, beforeReset);
}

TEST(KittyGraphicsStore, TheImageJustStoredStaysUntilTheNextStore)
{
    TerminalOptions options;
    options.kittyImageCacheLimitBytes = 6;  // below two pixels
    KittyTerminal kitty(options);
    auto& state = kitty.terminal.kittyGraphicsState;
    kitty.command("a=t,i=1,s=2,v=1", base64Of(std::string(8, 'a')));
    EXPECT_EQ(kitty.lastReply(), "Gi=1;OK");
    ASSERT_TRUE(state.imagesById.contains(1));
    EXPECT_EQ(state.totalImageBytes, 8);

    kitty.command("a=t,I=3,s=1,v=1", kPixel);
    EXPECT_FALSE(state.imagesById.contains(1));
    EXPECT_TRUE(state.imagesById.contains(2));
    EXPECT_EQ(state.totalImageBytes, 4);

    // Over the limit, images nothing shows go before those a placement
    // shows, each group oldest first.
    state.placementsByKey[{10, 1}] = placementOf(10);
    kitty.terminal.setOptions([&] {
        TerminalOptions wider = kitty.terminal.options();
        wider.kittyImageCacheLimitBytes = 8;
        return wider;
    }());
    kitty.command("a=t,i=10,s=1,v=1", kPixel);
    kitty.command("a=t,i=11,s=1,v=1", kPixel);
    EXPECT_TRUE(state.imagesById.contains(10));
    EXPECT_FALSE(state.imagesById.contains(2));
    EXPECT_EQ(state.imageNumbers.count(3), 0u);
    kitty.command("a=t,i=12,s=1,v=1", kPixel);
    EXPECT_FALSE(state.imagesById.contains(11));
    kitty.command("a=t,i=13,s=2,v=1", base64Of(std::string(8, 'a')));
    EXPECT_EQ(state.imagesById.size(), 1u);
    EXPECT_TRUE(state.imagesById.contains(13));
}

TEST(KittyGraphicsStore, TinyImagesCountTheirBookkeepingAgainstTheLimit)
{
    TerminalOptions options;
    options.kittyImageCacheLimitBytes = 64 * 1024;
    KittyTerminal kitty(options);
    auto& state = kitty.terminal.kittyGraphicsState;
    constexpr uint32_t kImages = 2000;  // 4 bytes of pixels each
    for (uint32_t id = 1; id <= kImages; ++id) kitty.command("a=t,q=2,s=1,v=1,i=" + std::to_string(id), kPixel);
    EXPECT_LE(kittyStoreCharge(state), options.kittyImageCacheLimitBytes);
    EXPECT_LT(state.imagesById.size(), size_t(options.kittyImageCacheLimitBytes / kKittyImageOverhead) +
                                           size_t(kKittyImagesWithoutOverhead));
    // The oldest went: what is left is the newest, the last one stored among them.
    uint32_t oldestKept = kImages;
    for (const auto& [id, image] : state.imagesById) oldestKept = std::min(oldestKept, id);
    EXPECT_EQ(state.imagesById.size(), kImages - oldestKept + 1);
    EXPECT_EQ(state.totalImageBytes, int64_t(state.imagesById.size()) * 4);
}

TEST(KittyGraphicsStore, AnOverlongTransferIsRefusedOnceAndTheNextOneWorks)
{
#if !defined(NDEBUG) || defined(CORVEL_SANITIZED)
    GTEST_SKIP() << "needs the speed and memory of an optimised build";
#endif
    KittyTerminal kitty;
    auto& state = kitty.terminal.kittyGraphicsState;
    // 16 MiB chunks of base64 text (below the parser's string budget).
    const std::string chunk = "\x1b_Gm=1;" + std::string(size_t{16} << 20, 'A') + "\x1b\\";
    kitty.command("a=t,i=4,s=1,v=1,m=1");
    const size_t chunksToCap = kKittyGraphicsMaxJoinedPayload / (size_t{16} << 20);
    // The text grows to the cap without a copy of it beside it at the end.
    const size_t before = corvel::testing::processMemory("VmRSS:");
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from now
    for (size_t i = 0; i <= chunksToCap; ++i) kitty.terminal.feed(chunk);
    EXPECT_LT(corvel::testing::processMemory("VmHWM:"), before + kKittyGraphicsMaxJoinedPayload + (size_t{96} << 20));
    ASSERT_EQ(kitty.host->replies.size(), 1u);
    EXPECT_EQ(kitty.lastReply(), "Gi=4;EINVAL: bad payload");
    ASSERT_TRUE(state.pending);
    EXPECT_EQ(state.pending->base64Payload.capacity(), 0u);

    // The rest of the transfer is dropped without growing anything.
    const size_t resident = corvel::testing::processMemory("VmRSS:");
    for (int i = 0; i < 8; ++i) kitty.terminal.feed(chunk);
    kitty.command("m=0", "YWJjZA==");
    EXPECT_EQ(kitty.host->replies.size(), 1u);
    EXPECT_LT(corvel::testing::processMemory("VmRSS:"), resident + (size_t{64} << 20));
    EXPECT_FALSE(state.pending);
    EXPECT_TRUE(state.imagesById.empty());

    kitty.command("a=t,i=5,s=1,v=1,m=1", "YW");
    kitty.command("m=0", "JjZA");
    EXPECT_EQ(kitty.lastReply(), "Gi=5;OK");
}
