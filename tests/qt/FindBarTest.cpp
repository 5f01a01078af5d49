// The find bar's option toggles, keys and callbacks, and its controller over a
// recording find target, driven by key events.
#include "PixelProbe.h"

#include "corvel/qt/FindBarController.h"
#include "corvel/qt/FindPasteboard.h"
#include "corvel/qt/FindTarget.h"
#include "corvel/qt/TerminalFindBarView.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvel {
namespace {

struct RecordingTarget : FindTarget {
    std::vector<std::string> calls;
    bool findNext(const std::string& term, const SearchOptions& o, bool scroll) override
    {
        calls.push_back("next " + term + flags(o, scroll));
        return true;
    }
    bool findPrevious(const std::string& term, const SearchOptions& o, bool scroll) override
    {
        calls.push_back("previous " + term + flags(o, scroll));
        return true;
    }
    void clearSearch() override { calls.push_back("clear"); }
    void findBarClosed() override { calls.push_back("closed"); }
    static std::string flags(const SearchOptions& o, bool scroll)
    {
        return std::string(" ") + (o.caseSensitive ? "C" : "-") + (o.regex ? "R" : "-") + (o.wholeWord ? "W" : "-") +
               (scroll ? "s" : "");
    }
    std::vector<std::string> take() { return std::exchange(calls, {}); }
};

TEST(FindBar, OptionTogglesAreReported)
{
    TerminalFindBarView bar;
    std::vector<SearchOptions> reported;
    bar.onOptionsChanged = [&](const SearchOptions& o) { reported.push_back(o); };
    bar.resize(bar.sizeHint());
    bar.show();
    QTest::mouseClick(bar.wholeWordButton(), Qt::LeftButton);
    QTest::mouseClick(bar.caseSensitiveButton(), Qt::LeftButton);
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported.back(), (SearchOptions{.caseSensitive = true, .regex = false, .wholeWord = true}));
    qt::test::saveRender(bar.grab().toImage(), QStringLiteral("findbar.png"));
}

TEST(FindBar, KeysInTheFieldStepCloseAndReportEdits)
{
    TerminalFindBarView bar;
    std::vector<std::string> events;
    bar.onSearchChanged = [&](const QString& t) { events.push_back("changed " + t.toStdString()); };
    bar.onFindNext = [&] { events.push_back("next"); };
    bar.onFindPrevious = [&] { events.push_back("previous"); };
    bar.onClose = [&] { events.push_back("close"); };
    bar.show();
    QLineEdit* field = bar.searchField();

    QTest::keyClick(field, Qt::Key_Escape);  // empty field: still closes
    QTest::keyClicks(field, "ab");
    QTest::keyClick(field, Qt::Key_Return);
    QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClick(field, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(field, Qt::Key_Backspace);
    field->setText("set by the program");  // not an edit
    EXPECT_EQ(events, (std::vector<std::string>{"close", "changed a", "changed ab", "next", "previous", "next",
                                                "changed a"}));
    // Unset callbacks are skipped.
    TerminalFindBarView bare;
    QTest::keyClicks(bare.searchField(), "x");
    QTest::keyClick(bare.searchField(), Qt::Key_Return);
    QTest::keyClick(bare.searchField(), Qt::Key_Escape);
}

class FindBarDriving : public ::testing::Test {
protected:
    void SetUp() override { findpasteboard::clear(); }
    void TearDown() override { findpasteboard::clear(); }
    TerminalFindBarView bar;
    RecordingTarget target;
    FindBarController controller{bar, target};
};

TEST_F(FindBarDriving, TypingSearchesForwardAndClearingDropsTheSearch)
{
    controller.showFindBar(std::nullopt);
    EXPECT_FALSE(bar.isHidden());
    EXPECT_TRUE(target.take().empty()) << "nothing to prefill";
    QTest::keyClicks(bar.searchField(), "ok");
    QTest::keyClick(bar.searchField(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::mouseClick(bar.regexButton(), Qt::LeftButton);
    QTest::mouseClick(bar.nextButton(), Qt::LeftButton);
    bar.searchField()->selectAll();
    QTest::keyClick(bar.searchField(), Qt::Key_Delete);
    EXPECT_EQ(target.take(), (std::vector<std::string>{"next o ---s", "next ok ---s", "previous ok ---s",
                                                       "next ok -R-s", "next ok -R-s", "clear"}));
    EXPECT_EQ(findpasteboard::text(), "ok");
    // Options with an empty term do not search.
    QTest::mouseClick(bar.wholeWordButton(), Qt::LeftButton);
    EXPECT_TRUE(target.take().empty());

    QTest::keyClick(bar.searchField(), Qt::Key_Escape);
    EXPECT_TRUE(bar.isHidden());
    EXPECT_EQ(target.take(), (std::vector<std::string>{"closed"}));
}

TEST_F(FindBarDriving, PrefillPrefersTheSelectionThenThePasteboard)
{
    findpasteboard::setText("from before");
    controller.showFindBar(std::string("picked"));
    EXPECT_EQ(bar.searchField()->text(), "picked");
    EXPECT_EQ(findpasteboard::text(), "picked");
    controller.hideFindBar();
    controller.showFindBar(std::string());
    EXPECT_EQ(bar.searchField()->text(), "picked");
    EXPECT_EQ(target.take(),
              (std::vector<std::string>{"next picked ---s", "closed", "next picked ---s"}));
}

TEST_F(FindBarDriving, StepsWithAHiddenBarUseThePasteboard)
{
    bar.hide();
    controller.performFind(true);
    EXPECT_TRUE(target.take().empty()) << "no term anywhere";
    findpasteboard::setText("");
    controller.performFind(true);
    EXPECT_TRUE(target.take().empty()) << "an empty term does nothing";
    findpasteboard::setText("shared");
    controller.performFind(false);
    EXPECT_EQ(target.take(), (std::vector<std::string>{"previous shared ---s"}));
}

}  // namespace
}  // namespace corvel
