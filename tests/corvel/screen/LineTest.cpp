#include "corvel/screen/Line.h"
#include "corvel/screen/Position.h"

#include <gtest/gtest.h>

using namespace corvel;

TEST(Position, OrdersByRowThenColumn)
{
    using R = Position::compareResult;
    EXPECT_EQ(Position::compare({5, 1}, {0, 2}), R::before);
    EXPECT_EQ(Position::compare({5, 2}, {0, 2}), R::after);
    EXPECT_EQ(Position::compare({0, 3}, {9, 2}), R::after);
    EXPECT_EQ(Position::compare({4, 2}, {5, 2}), R::before);
    EXPECT_EQ(Position::compare({4, 2}, {4, 2}), R::equal);
    EXPECT_EQ((Position{4, 2}), (Position{4, 2}));
    EXPECT_NE((Position{4, 2}), (Position{2, 4}));
    EXPECT_EQ((Position{3, 7}).debugDescription(), "col=3 row=7");
}

TEST(Line, CollectsFragmentsAndDescribesThem)
{
    Line line;
    EXPECT_EQ(line.debugDescription(), "[]");
    EXPECT_EQ(line.getFragmentIndex({0, 0}), -1);

    line.add({"hello", 4, 2, 5});
    line.add({"\n", 4, -1, 1});
    line.add({std::nullopt, 5, 0, 0});
    line.add({"ab", 6, 0, 2});
    EXPECT_EQ(line.length, 8);
    EXPECT_EQ(line.fragments.size(), 4u);
    EXPECT_EQ(line.startLine, 4);
    EXPECT_EQ(line.startLocation, 2);
    EXPECT_EQ(line.debugDescription(), "4/8: [hello][\\n][][ab][");
    EXPECT_EQ(line.toString(), "hello\nab");
    EXPECT_EQ(line.getFragmentIndex({6, 4}), 0);
    EXPECT_EQ(line.getFragmentIndex({7, 4}), -1);
    EXPECT_EQ(line.getFragmentIndex({1, 6}), 3);
}
