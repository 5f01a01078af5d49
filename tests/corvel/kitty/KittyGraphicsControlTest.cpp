// The control block parser: key and value rules, fallbacks to defaults.
#include "corvel/kitty/KittyGraphicsControl.h"

#include <gtest/gtest.h>

#include <string>

using namespace corvel;

namespace {

KittyGraphicsCommand parse(const std::string& text)
{
    static std::string keep;  // the payload span points into the input
    keep = text;
    return parseKittyGraphicsControl({reinterpret_cast<const uint8_t*>(keep.data()), keep.size()});
}

}  // namespace

TEST(KittyGraphicsControl, ReadsNumbersAndIdsStrictly)
{
    auto control = parse("s=+12,v=-3,x=9223372036854775807,y=-9223372036854775808,w=9223372036854775808,h=1x").control;
    EXPECT_EQ(control.width, 12);
    EXPECT_EQ(control.height, -3);
    EXPECT_EQ(control.cropX, INT64_MAX);
    EXPECT_EQ(control.cropY, INT64_MIN);
    EXPECT_EQ(control.cropWidth, 0);   // out of range
    EXPECT_EQ(control.cropHeight, 0);  // not a number
    EXPECT_EQ(parse("f=").control.format, 32);
    EXPECT_EQ(parse("f=abc").control.format, 32);

    control = parse("i=4294967295,I=+7,p=4294967296,P=-1,Q=0").control;
    EXPECT_EQ(control.imageId, 4294967295u);
    EXPECT_EQ(control.imageNumber, 7u);
    EXPECT_FALSE(control.placementId);
    EXPECT_FALSE(control.parentImageId);
    EXPECT_FALSE(control.parentPlacementId);
}

TEST(KittyGraphicsControl, SkipsNonAsciiItemsAndLetsTheLastItemWin)
{
    const auto control = parse("z=\xC3\xA9,z=4,C=\xFF,i=5,i=x;payload").control;
    EXPECT_EQ(control.zIndex, 4);
    EXPECT_EQ(control.cursorPolicy, 0);
    EXPECT_FALSE(control.imageId);  // a later unusable value falls back to the default
}

TEST(KittyGraphicsControl, LettersCountByTheirFirstCharacter)
{
    auto control = parse("a=Tx,t=sss,o=zz,d=Ab").control;
    EXPECT_EQ(control.action, 'T');
    EXPECT_EQ(control.transmission, 's');
    EXPECT_EQ(control.compression, 'z');
    EXPECT_EQ(control.deleteMode, "Ab");  // deletion reads the whole value
    control = parse("a=,t=,o=,d=").control;
    EXPECT_EQ(control.action, 't');
    EXPECT_EQ(control.transmission, 'd');
    EXPECT_FALSE(control.compression);
    EXPECT_FALSE(control.deleteMode);
}

TEST(KittyGraphicsControl, OnlyDirectTransmissionsKeepTheChunkMarker)
{
    EXPECT_EQ(parse("m=1").control.more, 1);
    EXPECT_EQ(parse("t=d,m=2").control.more, 2);
    for (const char* medium : {"f", "t", "s", "q"}) EXPECT_EQ(parse(std::string("m=1,t=") + medium).control.more, 0);
}
