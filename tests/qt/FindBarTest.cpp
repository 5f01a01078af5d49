// The find bar's option toggles, keys and callbacks, what gives way in a
// narrow bar, and its controller over a recording find target, driven by key
// events.
#include "corvel/qt/FindBarController.h"
#include "corvel/qt/FindPasteboard.h"
#include "corvel/qt/FindTarget.h"
#include "corvel/qt/TerminalFindBarView.h"

#include <QApplication>
#include <QCheckBox>
#include <QLayout>
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
}

TEST(FindBar, FollowsTheApplicationsPaletteNotTheTerminalsBackground)
{
    // Inside a terminal whose window colour is its black background.
    QWidget terminal;
    QPalette black = terminal.palette();
    black.setColor(QPalette::Window, Qt::black);
    terminal.setPalette(black);
    auto* bar = new TerminalFindBarView(&terminal);
    terminal.show();
    const auto follows = [&](const QPalette& app) {
        for (QWidget* control : std::initializer_list<QWidget*>{bar->closeButton(), bar->wholeWordButton()}) {
            EXPECT_EQ(control->palette().color(QPalette::Window), app.color(QPalette::Window));
            EXPECT_EQ(control->palette().color(QPalette::WindowText), app.color(QPalette::WindowText));
        }
    };
    follows(QGuiApplication::palette());

    const QPalette before = QGuiApplication::palette();
    QPalette dark = before;
    dark.setColor(QPalette::Window, QColor(40, 40, 40));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    QApplication::setPalette(dark);
    QCoreApplication::processEvents();  // the change reaches the windows posted
    follows(dark);
    QApplication::setPalette(before);
    QCoreApplication::processEvents();
}

TEST(FindBar, NarrowBarsDropPartsInOrderAndKeepTheFieldUsable)
{
    TerminalFindBarView bar;
    bar.show();
    const std::vector<QWidget*> order{bar.wholeWordButton(), bar.regexButton(), bar.caseSensitiveButton(),
                                      bar.previousButton()};
    size_t gone = 0;  // parts of `order` hidden so far
    for (int width = bar.sizeHint().width(); width >= bar.minimumUsableWidth(); --width) {
        bar.resize(width, bar.sizeHint().height());
        bar.layout()->activate();
        while (gone < order.size() && order[gone]->isHidden()) ++gone;
        for (size_t i = gone; i < order.size(); ++i) EXPECT_TRUE(order[i]->isVisible()) << "out of order at " << width;
        EXPECT_EQ(bar.nextButton()->isVisible(), bar.previousButton()->isVisible());
        EXPECT_TRUE(bar.closeButton()->isVisible());
        // What shows is whole, the field usable (its preferred width while
        // options show), and nothing runs past the bar's margin.
        for (QCheckBox* box : {bar.caseSensitiveButton(), bar.regexButton(), bar.wholeWordButton()}) {
            if (box->isVisible()) {
                EXPECT_GE(box->width(), box->sizeHint().width()) << "cut at " << width;
            }
        }
        EXPECT_GE(bar.searchField()->width(), gone < 3 ? 200 : 120) << "at " << width;
        EXPECT_LE(bar.closeButton()->geometry().right(), width - TerminalFindBarView::horizontalMargin);
    }
    EXPECT_EQ(gone, order.size());
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
