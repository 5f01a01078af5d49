// The toolbar's three width forms (each taken only where its whole row fits,
// so nothing is ever cut), its readouts and actions against a fake store, the
// zoom slider's isolation from store updates, and the legend.
#include "app/ui/design/DS.h"
#include "app/ui/design/Divider.h"
#include "app/ui/design/DSOutlineButton.h"
#include "app/ui/design/DSPalette.h"
#include "app/ui/design/DSPrimaryButton.h"
#include "app/ui/design/ElidedLabel.h"
#include "app/ui/design/StatusLook.h"
#include "app/ui/design/SymbolButton.h"
#include "app/ui/toolbar/StatusLegend.h"
#include "app/ui/toolbar/ToolbarView.h"
#include "tests/app/ui/support/FakeToolbarStore.h"
#include "tests/app/ui/support/UiTestSupport.h"

#include <gtest/gtest.h>

#include <QSlider>
#include <QTest>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>

using namespace tilebay;
using namespace tilebay::test;

namespace {

QStringList legendTags(const StatusLegend& legend)
{
    QStringList tags;
    for (TerminalStatus s : legend.items()) tags << statusLook(s).tag;
    return tags;
}

std::vector<QAbstractButton*> buttons(const ToolbarView& bar)
{
    return {bar.newTerminalButton(), bar.profileButton(), bar.importButton(),
            bar.broadcastButton(), bar.settingsButton()};
}

// Shows the toolbar at a width and lets the layout settle.
void showAt(ToolbarView& bar, int width)
{
    bar.resize(width, ToolbarView::kHeight);
    if (!bar.isVisible()) bar.show();
    QCoreApplication::processEvents();
}

}  // namespace

TEST(ToolbarView, WideFormWhereTheWholeRowFitsAndItsLayout)
{
    uiApp();
    FakeToolbarStore store;
    ToolbarView bar(store);
    bar.setPalette(lightPalette());
    // The whole row needs more than 820 px with these fonts, as with the design's.
    const int natural = bar.naturalWidth(ToolbarForm::wide);
    ASSERT_GT(natural, 820);
    showAt(bar, natural);
    EXPECT_EQ(bar.form(), ToolbarForm::wide);
    EXPECT_EQ(bar.height(), 44);
    EXPECT_EQ(bar.newTerminalButton()->text(), QStringLiteral("새 터미널"));
    EXPECT_EQ(bar.profileButton()->text(), QStringLiteral("프로필"));
    EXPECT_EQ(bar.importButton()->text(), QStringLiteral("iTerm2 가져오기"));
    EXPECT_EQ(bar.broadcastButton()->text(), QStringLiteral("브로드캐스트"));
    EXPECT_TRUE(bar.cellCountLabel()->isVisible());
    EXPECT_EQ(bar.cellCountLabel()->text(), QStringLiteral("3개 셀"));
    EXPECT_TRUE(bar.pollReadout()->isVisible());
    EXPECT_EQ(bar.pollReadout()->text(), QStringLiteral("폴링 1000ms · 유휴 8s"));
    EXPECT_EQ(bar.zoomSlider()->width(), 110);
    EXPECT_TRUE(bar.legend()->isVisible());
    EXPECT_FALSE(bar.legend()->compact());
    EXPECT_EQ(legendTags(*bar.legend()).join(u' '), QStringLiteral("RUN IDLE WAIT \u2014"));
    EXPECT_EQ(bar.spacing(), 12);
    // At its natural width the spacer is at its 4 px.
    EXPECT_EQ(bar.pollReadout()->parentWidget()->x(), bar.cellCountLabel()->geometry().right() + 1 + 12 + 4 + 12);
    // With room for all, the gap in the middle grows.
    showAt(bar, 1400);
    EXPECT_EQ(bar.newTerminalButton()->geometry().left(), 12);
    EXPECT_EQ(bar.settingsButton()->geometry().right(), 1400 - 12 - 1);

    // Right to left from the settings button, every control (dividers too) is
    // exactly 12 px from the next and centred in the 44 px bar.
    auto dividers = bar.findChildren<Divider*>();
    ASSERT_EQ(dividers.size(), 3);
    std::sort(dividers.begin(), dividers.end(),
              [](QWidget* a, QWidget* b) { return a->x() < b->x(); });
    const std::vector<QWidget*> trailing{bar.pollReadout()->parentWidget(), dividers[0],
                                         bar.zoomSlider()->parentWidget(), dividers[1],
                                         bar.legend(), dividers[2], bar.settingsButton()};
    for (size_t i = 0; i < trailing.size(); ++i) {
        const QRect g = trailing[i]->geometry();
        EXPECT_LE(std::abs(g.top() + g.bottom() + 1 - 44), 1) << i;  // room above ≈ below
        if (i > 0) {
            EXPECT_EQ(g.left(), trailing[i - 1]->geometry().right() + 1 + 12) << i;
        }
    }
    for (Divider* d : dividers) EXPECT_EQ(d->geometry(), QRect(d->x(), 14, 1, 16));

    // A longer count no longer fits at that width: compact, until it shortens.
    showAt(bar, natural);
    store.cells = 12;
    store.pollMs = 250;
    store.idleSec = 30;
    emit store.changed();
    EXPECT_EQ(bar.cellCountLabel()->text(), QStringLiteral("12개 셀"));
    EXPECT_EQ(bar.pollReadout()->text(), QStringLiteral("폴링 250ms · 유휴 30s"));
    EXPECT_EQ(bar.form(), ToolbarForm::compact);
    store.cells = 3;
    store.pollMs = 1000;
    store.idleSec = 8;
    emit store.changed();
    EXPECT_EQ(bar.form(), ToolbarForm::wide);
}

TEST(ToolbarView, EveryWidthTakesTheWidestFormThatFitsAndCutsNothing)
{
    // Under the test font and under a wider one (the row's fonts follow the
    // application's family): wide from max(820, its natural width), compact
    // from 560, tiny below; no title or readout is ever shortened and no
    // control overlaps the next.
    uiApp();
    const QFont saved = QApplication::font();
    for (const char* family : {"DejaVu Sans", "DejaVu Sans Mono"}) {
        SCOPED_TRACE(family);
        QApplication::setFont(QFont(QString::fromLatin1(family)));
        FakeToolbarStore store;
        ToolbarView bar(store);
        const int wideFrom = std::max(820, bar.naturalWidth(ToolbarForm::wide));
        ASSERT_LE(bar.naturalWidth(ToolbarForm::compact), 560);
        ASSERT_LT(bar.naturalWidth(ToolbarForm::tiny), 480);
        for (int width = 480; width <= 1400; width += 3) {
            SCOPED_TRACE(width);
            showAt(bar, width);
            const ToolbarForm want = width >= wideFrom ? ToolbarForm::wide
                                   : width >= 560      ? ToolbarForm::compact
                                                       : ToolbarForm::tiny;
            ASSERT_EQ(bar.form(), want);
            ASSERT_EQ(bar.importButton()->text().isEmpty(), want != ToolbarForm::wide);
            for (ElidedLabel* label : {bar.cellCountLabel(), bar.pollReadout()})
                ASSERT_TRUE(!label->isVisible() || label->displayedText() == label->text());
            std::vector<QWidget*> row;
            for (QWidget* w : std::initializer_list<QWidget*>{
                     bar.newTerminalButton(), bar.profileButton(), bar.importButton(), bar.broadcastButton(),
                     bar.cellCountLabel(), bar.pollReadout()->parentWidget(), bar.zoomSlider()->parentWidget(),
                     bar.legend(), bar.settingsButton()})
                if (!w->isHidden()) row.push_back(w);
            for (size_t i = 0; i < row.size(); ++i) {
                ASSERT_GE(row[i]->width(), row[i]->sizeHint().width()) << i;
                if (i > 0) {
                    ASSERT_GE(row[i]->x(), row[i - 1]->geometry().right() + 1 + bar.spacing()) << i;
                }
            }
        }
    }
    QApplication::setFont(saved);
}

TEST(ToolbarView, CompactBelow820AndTinyBelow560)
{
    uiApp();
    FakeToolbarStore store;
    ToolbarView bar(store);
    for (int width : {819, 560}) {
        SCOPED_TRACE(width);
        showAt(bar, width);
        EXPECT_EQ(bar.form(), ToolbarForm::compact);
        for (QAbstractButton* b : buttons(bar)) {
            EXPECT_TRUE(b->text().isEmpty());
            EXPECT_TRUE(b->isVisible());
        }
        EXPECT_FALSE(bar.cellCountLabel()->isVisible());
        EXPECT_FALSE(bar.pollReadout()->isVisible());
        EXPECT_EQ(bar.zoomSlider()->width(), 70);
        EXPECT_TRUE(bar.zoomSlider()->isVisible());
        EXPECT_TRUE(bar.legend()->isVisible());
        EXPECT_TRUE(bar.legend()->compact());
        EXPECT_EQ(bar.spacing(), 6);
        EXPECT_LE(bar.settingsButton()->geometry().right(), width - 12);
    }
    showAt(bar, 559);
    EXPECT_EQ(bar.form(), ToolbarForm::tiny);
    EXPECT_FALSE(bar.zoomSlider()->isVisible());
    EXPECT_FALSE(bar.legend()->isVisible());
    for (QAbstractButton* b : buttons(bar)) EXPECT_TRUE(b->isVisible());
    EXPECT_LE(bar.settingsButton()->geometry().right(), 559 - 12);

    // Back to wide: titles and readouts return.
    showAt(bar, 1400);
    EXPECT_EQ(bar.form(), ToolbarForm::wide);
    EXPECT_EQ(bar.importButton()->text(), QStringLiteral("iTerm2 가져오기"));
    EXPECT_TRUE(bar.pollReadout()->isVisible());
    EXPECT_EQ(bar.zoomSlider()->width(), 110);

    // Tooltips in every form (the titles go); Tab follows the visual order.
    EXPECT_EQ(bar.importButton()->toolTip(), QStringLiteral("iTerm2 가져오기"));
    std::vector<QWidget*> chain;
    for (QWidget* w = bar.nextInFocusChain(); w != &bar; w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus) chain.push_back(w);
    const std::vector<QWidget*> expected{bar.newTerminalButton(), bar.profileButton(),
                                         bar.importButton(), bar.broadcastButton(),
                                         bar.zoomSlider(), bar.settingsButton()};
    EXPECT_EQ(chain, expected);
}

TEST(ToolbarView, ButtonsCallTheStore)
{
    uiApp();
    FakeToolbarStore store;
    ToolbarView bar(store);
    showAt(bar, 1400);
    bar.newTerminalButton()->click();
    bar.profileButton()->click();
    bar.importButton()->click();
    bar.importButton()->click();  // an open panel stays open and lists again
    bar.settingsButton()->click();
    EXPECT_EQ(store.newTerminalCalls, 1);
    EXPECT_EQ(store.profileLauncherShown, 1);
    EXPECT_EQ(store.importWrites, (std::vector<bool>{true, true}));
    EXPECT_EQ(store.refreshCalls, 2);
    EXPECT_EQ(store.settingsShown, 1);
    EXPECT_TRUE(store.zoomWrites.empty());
}

TEST(ToolbarView, BroadcastModePaintsTheLabelOrange)
{
    uiApp();
    FakeToolbarStore store;
    ToolbarView bar(store);
    auto* button = bar.broadcastButton();
    for (const QPalette& palette : {lightPalette(), darkPalette()}) {
        bar.setPalette(palette);
        showAt(bar, 1400);
        auto orangePixels = [&](qreal ratio) {
            const QImage img = grabAt(*button, ratio);
            int n = 0;
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x)
                    if (near(img.pixelColor(x, y), DS::orange(), 10)) ++n;
            return n;
        };
        if (store.broadcast) button->click();
        EXPECT_EQ(orangePixels(1), 0);
        button->click();
        ASSERT_TRUE(store.broadcast);
        EXPECT_EQ(button->tint(), DS::orange());
        EXPECT_GT(orangePixels(1), 30);
        EXPECT_GT(orangePixels(2), 120);
        button->click();
        EXPECT_FALSE(button->tint().isValid());
    }
}

TEST(ToolbarView, StoreZoomIsNeverRoundedBackThroughTheSlider)
{
    uiApp();
    FakeToolbarStore store;
    store.zoomValue = 1.2345;
    ToolbarView bar(store);
    showAt(bar, 1400);
    EXPECT_EQ(bar.zoomSlider()->value(), 1235);
    EXPECT_EQ(store.zoomValue, 1.2345);
    store.zoomValue = 2.71828;  // a pinch elsewhere
    emit store.changed();
    EXPECT_EQ(bar.zoomSlider()->value(), 2718);
    EXPECT_EQ(store.zoomValue, 2.71828);
    EXPECT_TRUE(store.zoomWrites.empty());

    // The user's slider moves reach the store; the arrows step by 0.05.
    bar.zoomSlider()->setValue(1500);
    EXPECT_EQ(store.zoomWrites, (std::vector<double>{1.5}));
    bar.zoomSlider()->setFocus();
    QTest::keyClick(bar.zoomSlider(), Qt::Key_Right);
    EXPECT_DOUBLE_EQ(store.zoomValue, 1.55);
    bar.zoomSlider()->setValue(99999);
    EXPECT_DOUBLE_EQ(store.zoomValue, 3.0);
    bar.zoomSlider()->setValue(-5);
    EXPECT_DOUBLE_EQ(store.zoomValue, 0.5);
}

TEST(StatusLegend, ItemsInOrderWithTagsUnlessCompact)
{
    uiApp();
    StatusLegend legend(false, {TerminalStatus::running, TerminalStatus::idle,
                                TerminalStatus::waiting, TerminalStatus::unknown});
    legend.setPalette(lightPalette());
    legend.resize(legend.sizeHint());
    const auto wide = legend.itemRects();
    ASSERT_EQ(wide.size(), 4u);
    EXPECT_EQ(wide[1].left() - wide[0].right() - 1, 10);
    // Each item's symbol is drawn in its status colour: over the light window,
    // its strongly covered pixels lie nearest to it among the four.
    const auto order = legend.items();
    auto nearest = [&](const QColor& px) {
        int best = 0, bestError = INT_MAX;
        for (int k = 0; k < 4; ++k) {
            const QColor c = statusLook(order[k]).colour;
            const int e = std::abs(c.red() - px.red()) + std::abs(c.green() - px.green()) +
                          std::abs(c.blue() - px.blue());
            if (e < bestError) bestError = e, best = k;
        }
        return bestError < 40 ? best : -1;
    };
    for (qreal ratio : {1.0, 2.0}) {
        const QImage img = grabAt(legend, ratio);
        for (int i = 0; i < 4; ++i) {
            std::array<int, 4> hits{};
            for (int y = 0; y < img.height(); ++y)
                for (int x = int(wide[i].left() * ratio); x < int((wide[i].left() + 13) * ratio); ++x)
                    if (int k = nearest(img.pixelColor(x, y)); k >= 0) ++hits[k];
            EXPECT_EQ(*std::max_element(hits.begin(), hits.end()), hits[i]) << i;
            EXPECT_GE(hits[i], 2 * ratio * ratio) << i;
        }
    }
    const int wideWidth = legend.sizeHint().width();
    legend.setCompact(true);
    legend.resize(legend.sizeHint());
    const auto compact = legend.itemRects();
    EXPECT_EQ(compact[0].width(), 13);
    EXPECT_EQ(compact[1].left(), 13 + 6);
    EXPECT_EQ(legend.sizeHint().width(), 4 * 13 + 3 * 6);
    EXPECT_LT(legend.sizeHint().width(), wideWidth);
}

