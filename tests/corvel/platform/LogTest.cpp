#include "corvel/platform/Log.h"
#include "corvel/platform/Trace.h"

#include <gtest/gtest.h>

using namespace corvel;

TEST(Log, CaptureCollectsLinesAndRestoresThePreviousSink)
{
    std::vector<std::string> outer;
    auto old = log::setSink([&](std::string_view l) { outer.emplace_back(l); });
    {
        log::Capture capture;
        log::write("Info: one");
        log::write("two");
        EXPECT_EQ(capture.lines(), (std::vector<std::string>{"Info: one", "two"}));
        EXPECT_TRUE(capture.contains("one"));
        EXPECT_EQ(capture.count("o"), 2u);
    }
    log::write("three");
    EXPECT_EQ(outer, (std::vector<std::string>{"three"}));
    log::setSink(std::move(old));
}

TEST(Trace, RecordsOnlyWhileEnabled)
{
    const bool was = trace::enabled();
    trace::setEnabled(false);
    trace::clearEvents();
    { trace::Scope s("off"); }
    EXPECT_TRUE(trace::recentEvents().empty());
    trace::setEnabled(true);
    { trace::Scope s("Parser.Parse"); }
    auto events = trace::recentEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(events[0].begin);
    EXPECT_FALSE(events[1].begin);
    EXPECT_LE(events[0].nanos, events[1].nanos);
    trace::setEnabled(was);
    trace::clearEvents();
}
