// Kitty deletion: every selector and its refusal, freeing image data,
// eviction to the byte limit, and what erase, screen switches and reset
// leave of line images and records.
#include "corvel/kitty/KittyGraphicsState.h"
#include "tests/corvel/kitty/KittyImageTestSupport.h"

using namespace corvel;
using namespace corvel::testing;

namespace {

// Three placements of 2×2 cells: image 1 at (0, 0), image 2 at (10, 3) on
// layer 5, image 9 at (20, 6).
void placeThree(StripTerminal& t)
{
    for (uint32_t id : {1u, 2u, 9u}) t.store(id, 20, 40);
    t.feed("\x1b[1;1H");
    t.command("a=p,i=1,p=1,q=2");
    t.feed("\x1b[4;11H");
    t.command("a=p,i=2,p=1,z=5,q=2");
    t.feed("\x1b[7;21H");
    t.command("a=p,i=9,p=1,q=2");
}

std::set<uint32_t> remaining(StripTerminal& t)
{
    std::set<uint32_t> ids;
    for (uint32_t id : {1u, 2u, 9u}) {
        const bool onLines = !t.strips(id, 1).empty();
        EXPECT_EQ(onLines, t.hasRecord(id, 1)) << "image " << id;
        if (onLines) ids.insert(id);
    }
    return ids;
}

}  // namespace

TEST(KittyDeletionTest, SelectorsRemoveWhatTheyName)
{
    const std::vector<std::pair<std::string, std::set<uint32_t>>> cases = {
        {"d=i,i=1", {2, 9}},
        {"d=i,i=1,p=2", {1, 2, 9}},
        {"d=i,i=77", {1, 2, 9}},
        {"d=c", {1, 2}},  // the cursor is on image 9's cell
        {"d=p,x=11,y=4", {1, 9}},
        {"d=p,x=13,y=4", {1, 2, 9}},
        {"d=q,x=11,y=4,z=4", {1, 2, 9}},
        {"d=q,x=12,y=5,z=5", {1, 9}},
        {"d=x,x=12", {1, 9}},
        {"d=y,y=8", {1, 2}},
        {"d=z,z=5", {1, 9}},
        {"d=r,x=9,y=2", {1}},
        {"d=r,x=2,y=99999999999", {1}},
        {"d=a", {}},
        {"d=ab", {}},
        {"", {}},
    };
    for (const auto& [keys, expected] : cases) {
        StripTerminal t;
        placeThree(t);
        t.feed("\x1b[7;21H");
        t.command("a=d" + (keys.empty() ? std::string() : "," + keys));
        EXPECT_EQ(remaining(t), expected) << keys;
        EXPECT_EQ(t.host->replies.find("\x1b_G"), std::string::npos) << keys;
        // Lower-case selectors keep the image data.
        EXPECT_EQ(t.terminal.kittyGraphicsState.imagesById.size(), 3u) << keys;
    }
}

TEST(KittyDeletionTest, RefusalsDeleteAndFreeNothing)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"d=I", "EINVAL: missing image id"},       {"d=N", "EINVAL: missing image number"},
        {"d=P,x=0,y=3", "EINVAL: missing cell position"}, {"d=Q,x=3", "EINVAL: missing cell position"},
        {"d=X", "EINVAL: missing column"},         {"d=Y,y=-2", "EINVAL: missing row"},
        {"d=R,x=3", "EINVAL: missing id range"},
    };
    for (const auto& [keys, error] : cases) {
        StripTerminal t;
        placeThree(t);
        t.store(30, 4, 4);  // shown nowhere
        t.command("a=d," + keys);
        EXPECT_EQ(t.lastReply(), "G;" + error) << keys;
        EXPECT_EQ(remaining(t), (std::set<uint32_t>{1, 2, 9})) << keys;
        EXPECT_TRUE(t.terminal.kittyGraphicsState.imagesById.contains(30)) << keys;
    }
    // An unknown selector is answered; in upper case it still frees.
    StripTerminal t;
    placeThree(t);
    t.store(30, 4, 4);
    t.command("a=d,d=w");
    EXPECT_EQ(t.lastReply(), "G;EINVAL: unsupported delete");
    EXPECT_TRUE(t.terminal.kittyGraphicsState.imagesById.contains(30));
    t.command("a=d,d=W");
    EXPECT_FALSE(t.terminal.kittyGraphicsState.imagesById.contains(30));
    EXPECT_EQ(remaining(t), (std::set<uint32_t>{1, 2, 9}));
}

TEST(KittyDeletionTest, UpperCaseFreesImagesByNumberAndId)
{
    StripTerminal t;
    placeThree(t);
    t.store(0, 4, 4, "I=7");  // an image number gets an id of its own
    const uint32_t numbered = t.terminal.kittyGraphicsState.imageNumbers.at(7);
    t.command("a=p,I=7,p=1,q=2");
    t.command("a=d,d=n,I=8");  // no such number: nothing, no reply
    EXPECT_TRUE(t.hasRecord(numbered, 1));
    t.command("a=d,d=N,I=7");
    EXPECT_FALSE(t.hasRecord(numbered, 1));
    EXPECT_FALSE(t.terminal.kittyGraphicsState.imagesById.contains(numbered));
    EXPECT_FALSE(t.terminal.kittyGraphicsState.imageNumbers.contains(7));
    t.command("a=d,d=I,i=2");
    EXPECT_EQ(remaining(t), (std::set<uint32_t>{1, 9}));
    EXPECT_FALSE(t.terminal.kittyGraphicsState.imagesById.contains(2));
    EXPECT_TRUE(t.terminal.kittyGraphicsState.imagesById.contains(1));
    EXPECT_EQ(t.terminal.kittyGraphicsState.totalImageBytes, 2 * 20 * 40 * 4);
}

TEST(KittyDeletionTest, ClearingTheScreenKeepsImagesOfOtherKindsAndOtherScreens)
{
    StripTerminal t;
    // A sixel image scrolls into the scrollback with a placement.
    t.feed("\x1bPq#0;2;100;0;0#0~~~~\x1b\\");
    t.store(1, 20, 40);
    t.command("a=p,i=1,p=1,q=2");
    t.feed(std::string(15, '\n'));
    ASSERT_EQ(t.otherImageLines(t.terminal.normalBuffer()).size(), 1u);
    t.command("a=p,i=1,p=2,q=2");  // on the screen

    // d=a takes what is visible and keeps the scrollback.
    t.command("a=d,d=a");
    EXPECT_TRUE(t.strips(1, 2).empty());
    EXPECT_FALSE(t.hasRecord(1, 2));
    EXPECT_EQ(t.strips(1, 1).size(), 2u);
    EXPECT_TRUE(t.hasRecord(1, 1));

    // The alternate screen starts and ends without touching the normal one.
    t.feed("\x1b[?1049h");
    t.command("a=p,i=1,p=3,q=2");
    EXPECT_TRUE(t.record(1, 3).isAlternateBuffer);
    t.feed("\x1b[?1049l");
    EXPECT_FALSE(t.hasRecord(1, 3));
    EXPECT_TRUE(t.strips(1, 3, &t.terminal.altBuffer()).empty());
    EXPECT_EQ(t.strips(1, 1).size(), 2u);
    EXPECT_TRUE(t.hasRecord(1, 1));

    // ED 2: Kitty state goes everywhere, the sixel stays in the scrollback.
    t.feed("\x1b[H\x1b[2J");
    EXPECT_TRUE(t.strips(1, 1).empty());
    EXPECT_TRUE(t.terminal.kittyGraphicsState.placementsByKey.empty());
    EXPECT_TRUE(t.terminal.kittyGraphicsState.imagesById.empty());
    EXPECT_EQ(t.otherImageLines(t.terminal.normalBuffer()).size(), 1u);
    EXPECT_EQ(t.terminal.normalBuffer().linesWithImagesCount(), 1);

    // Reset: every image goes; the id counters go on.
    const uint32_t nextPlacement = t.terminal.kittyGraphicsState.nextPlacementId;
    t.feed("\x1b" "c");
    EXPECT_FALSE(t.terminal.normalBuffer().hasAnyImages());
    EXPECT_EQ(t.terminal.kittyGraphicsState.nextPlacementId, nextPlacement);
}

TEST(KittyDeletionTest, EvictionTakesUnusedImagesFirstAndOldestFirst)
{
    TerminalOptions options = StripTerminal::smallOptions();
    options.kittyImageCacheLimitBytes = 100;
    StripTerminal t(options);
    t.store(1, 4, 4);  // 64 bytes each
    t.command("a=p,i=1,p=1,q=2");
    t.store(2, 4, 4);
    // Nothing unused but the new image: the shown one goes, its strips stay.
    const auto& store = t.terminal.kittyGraphicsState.imagesById;
    EXPECT_FALSE(store.contains(1));
    EXPECT_TRUE(store.contains(2));
    EXPECT_EQ(t.strips(1, 1).size(), 1u);
    EXPECT_TRUE(t.hasRecord(1, 1));
    t.store(3, 4, 4);
    EXPECT_FALSE(store.contains(2));
    EXPECT_TRUE(store.contains(3));
    EXPECT_EQ(t.terminal.kittyGraphicsState.totalImageBytes, 64);

    // Two candidates in each group: the least recently used goes.
    options.kittyImageCacheLimitBytes = 150;
    StripTerminal u(options);
    const auto& held = u.terminal.kittyGraphicsState.imagesById;
    u.store(1, 4, 4);
    u.store(2, 4, 4);
    u.store(3, 4, 4);
    EXPECT_FALSE(held.contains(1));
    EXPECT_TRUE(held.contains(2));
    u.command("a=p,i=2,p=1,q=2");
    u.command("a=p,i=3,p=1,q=2");
    u.store(4, 4, 4);
    EXPECT_FALSE(held.contains(2));
    EXPECT_TRUE(held.contains(3));
}
