#include "corvel/screen/Line.h"

#include <gtest/gtest.h>

using namespace corvel;

TEST(Line, CollectsFragmentsAndFindsThemByPosition)
{
    Line line;
    EXPECT_EQ(line.getFragmentIndex({0, 0}), -1);

    line.add({"hello", 4, 2, 5});
    line.add({"\n", 4, -1, 1});
    line.add({std::nullopt, 5, 0, 0});
    line.add({"ab", 6, 0, 2});
    EXPECT_EQ(line.length, 8);
    EXPECT_EQ(line.startLine, 4);
    EXPECT_EQ(line.startLocation, 2);
    EXPECT_EQ(line.debugDescription(), "4/8: [hello][\\n][][ab][");
    EXPECT_EQ(line.toString(), "hello\nab");
    EXPECT_EQ(line.getFragmentIndex({6, 4}), 0);
    EXPECT_EQ(line.getFragmentIndex({7, 4}), -1);
    EXPECT_EQ(line.getFragmentIndex({1, 6}), 3);
}
