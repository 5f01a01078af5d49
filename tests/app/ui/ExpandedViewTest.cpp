// The expanded cell offscreen, over a store with the fake embedded adapter:
// the card's place and the scrim's dimming, collapsing by scrim, button and
// Escape, the search (Ctrl+Shift+F, Return, close and clear, the kept term,
// a competing binding that never fires), the iTerm2 and mock cards, and the
// snapshot animation that resizes a borrowed pane once and hands it back.
#include "app/ui/design/DSOutlineButton.h"
#include "app/ui/design/DSPalette.h"
#include "app/ui/design/DSPrimaryButton.h"
#include "app/ui/expanded/ExpandedCard.h"
#include "app/ui/expanded/ExpandedView.h"
#include "corvel/platform/Log.h"
#include "corvel/qt/TerminalView.h"
#include "tests/app/store/StoreTestSupport.h"
#include "tests/app/ui/grid/PaneAdapter.h"
#include "tests/app/ui/support/UiTestSupport.h"

#include <QLabel>
#include <QPointer>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTest>

using namespace tilebay;
using namespace tilebay::testing;
using namespace tilebay::test;

namespace {

const QColor kGrid(200, 100, 50);

// The grid's area: one flat colour, so the scrim's effect can be read.
class GridStandIn final : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), kGrid); }
};

class ExpandedViewTest : private UiAppFirst, public StoreTest {
protected:
    // A store whose cells have a live pane (a terminal view the adapter owns).
    SessionStore& makeLiveStore()
    {
        auto fake = std::make_unique<PaneAdapter>();
        live_ = fake.get();
        return makeStore(std::move(fake));
    }
    ExpandedView& showOver(SessionStore& store, int animationMs = 0)
    {
        grid_ = std::make_unique<GridStandIn>();
        grid_->setPalette(lightPalette());
        grid_->resize(1000, 700);
        view_ = new ExpandedView(store, grid_.get());
        view_->setDuration(animationMs);
        grid_->show();
        grid_->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(grid_.get()));
        return *view_;
    }
    ~ExpandedViewTest() override { grid_.reset(); }

    PaneAdapter* live_ = nullptr;  // owned by the store
    std::unique_ptr<GridStandIn> grid_;
    ExpandedView* view_ = nullptr;
};

}  // namespace

TEST_F(ExpandedViewTest, CardTakesMostOfTheAreaCentredAndTheScrimDimsTheRest)
{
    SessionStore& store = makeStore();
    const QString id = store.newEmbeddedSession(QStringLiteral("build"), std::nullopt, std::nullopt)->id();
    ExpandedView& view = showOver(store);
    EXPECT_FALSE(view.isVisible());

    store.toggleExpand(id);
    ASSERT_EQ(view.phase(), ExpandedView::Phase::open);
    ASSERT_NE(view.card(), nullptr);
    EXPECT_EQ(view.card()->geometry(), QRect(70, 49, 860, 602));
    const QImage shot = grabAt(*grid_, 1);
    if (shotsWanted()) saveShot(shot, QStringLiteral("expanded-embedded"));
    const QColor dimmed = over(Qt::black, 0.38, kGrid);
    for (const QPoint corner : {QPoint(3, 3), QPoint(996, 3), QPoint(3, 696), QPoint(996, 696)})
        EXPECT_TRUE(near(probe(shot, corner.x(), corner.y()), dimmed, 2)) << corner.x() << "," << corner.y();
    // The card itself is not dimmed, and its shadow falls below it.
    EXPECT_FALSE(near(probe(shot, 500, 60), dimmed, 10));
    EXPECT_LT(probe(shot, 500, 49 + 602 + 8).red(), dimmed.red());

    grid_->resize(600, 400);
    EXPECT_EQ(view.card()->geometry(), QRect(42, 28, 516, 344));
    EXPECT_EQ(view.geometry(), grid_->rect());

    // A click on the card keeps it; a click on the scrim collapses.
    QTest::mouseClick(view.card(), Qt::LeftButton, {}, QPoint(200, 100));
    EXPECT_EQ(store.expandedID(), id);
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(store.expandedID().has_value());
    EXPECT_EQ(view.phase(), ExpandedView::Phase::hidden);
    EXPECT_FALSE(view.isVisible());

    // "복귀" collapses as well; so does a status change show at once meanwhile.
    store.toggleExpand(id);
    store.cell(id)->setStatus(TerminalStatus::waiting);
    EXPECT_EQ(view.card()->findChildren<QLabel*>().at(1)->text(), QStringLiteral("WAIT"));
    view.card()->collapseButton()->click();
    EXPECT_FALSE(store.expandedID().has_value());
}

TEST_F(ExpandedViewTest, SearchOpensInItsFieldSearchesClosesClearsAndKeepsTheTerm)
{
    SessionStore& store = makeStore();
    const QString id = store.newEmbeddedSession(QStringLiteral("logs"), std::nullopt, std::nullopt)->id();
    ExpandedView& view = showOver(store);
    // A second binding of the same keys, as a pane's own find command would be.
    int competing = 0;
    auto* other = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F), grid_.get());
    other->setContext(Qt::WindowShortcut);
    QObject::connect(other, &QShortcut::activated, [&] { ++competing; });
    QObject::connect(other, &QShortcut::activatedAmbiguously, [&] { ++competing; });

    store.toggleExpand(id);
    ExpandedCard* card = view.card();
    card->setFocus();
    QTest::keyClick(card, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(card->searchOpen());
    EXPECT_TRUE(card->searchBar()->isVisible());
    EXPECT_TRUE(card->searchField()->hasFocus());

    QTest::keyClicks(card->searchField(), QStringLiteral("777"));
    QTest::keyClick(card->searchField(), Qt::Key_Return);
    FakeSearchTarget& target = embedded_->cells.at(id).search;
    ASSERT_EQ(target.calls.size(), 1u);
    EXPECT_EQ(target.calls[0].term, QStringLiteral("777"));
    EXPECT_TRUE(target.calls[0].forward);
    EXPECT_TRUE(target.calls[0].scrollToResult);

    // Escape in the field closes the search and keeps the card.
    QTest::keyClick(card->searchField(), Qt::Key_Escape);
    EXPECT_FALSE(card->searchOpen());
    EXPECT_EQ(target.cleared, 1);
    EXPECT_EQ(store.expandedID(), id);

    // Reopened, the field shows the last term; Ctrl+Shift+F from the field closes it.
    QTest::keyClick(card, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(card->searchField()->text(), QStringLiteral("777"));
    QTest::keyClick(card->searchField(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(card->searchOpen());
    EXPECT_EQ(target.cleared, 2);
    EXPECT_EQ(competing, 0);

    // Escape anywhere else in the card collapses it.
    card->collapseButton()->setFocus();
    QTest::keyClick(card->collapseButton(), Qt::Key_Escape);
    EXPECT_FALSE(store.expandedID().has_value());
}

TEST_F(ExpandedViewTest, ITerm2CardHasACommandFieldAndNoSearchBar)
{
    SessionStore& store = makeStore();
    corvel::log::Capture log;
    store.absorbExternal(QStringLiteral("guid-1"), QStringLiteral("Build"), 0);
    const QString id = store.cells().front()->id();
    ExpandedView& view = showOver(store);
    store.toggleExpand(id);
    ExpandedCard* card = view.card();
    if (shotsWanted()) saveShot(grabAt(*grid_, 2), QStringLiteral("expanded-iterm2-scale2"));

    ASSERT_NE(card->commandBar(), nullptr);
    ASSERT_NE(card->openITerm2Button(), nullptr);
    EXPECT_EQ(card->liveContent(), nullptr);
    EXPECT_EQ(card->preview()->findChild<QLabel*>()->text(), QStringLiteral("iTerm2 흡수 셀 — 미리보기 대기…"));
    card->toggleSearch();
    EXPECT_TRUE(card->searchOpen());
    EXPECT_FALSE(card->searchBar()->isVisible());

    // Spaces and tabs leave "전송" disabled; Return sends nothing and empties the field.
    QTest::keyClicks(card->commandField(), QStringLiteral("  \t "));
    EXPECT_FALSE(card->sendButton()->isEnabled());
    QTest::keyClick(card->commandField(), Qt::Key_Return);
    EXPECT_TRUE(card->commandField()->text().isEmpty());

    // So do ideographic spaces, as a Korean input method types them.
    card->commandField()->setText(QStringLiteral("\u3000\u3000"));
    EXPECT_FALSE(card->sendButton()->isEnabled());
    card->commandField()->clear();

    QTest::keyClicks(card->commandField(), QStringLiteral("ls"));
    EXPECT_TRUE(card->sendButton()->isEnabled());
    QTest::keyClick(card->commandField(), Qt::Key_Return);
    EXPECT_TRUE(card->commandField()->text().isEmpty());
    // There is no osascript here: the attempt is logged.
    EXPECT_TRUE(pumpUntil([&] { return log.contains("osascript"); }));

    // "iTerm2 창 열기" on a session the adapter cannot find does nothing visible.
    card->openITerm2Button()->click();
    EXPECT_EQ(store.expandedID(), id);
}

TEST_F(ExpandedViewTest, MockCardShowsThePreviewAndNoBars)
{
    SessionStore& store = makeStore();
    auto mock = std::make_shared<TerminalSession>(QStringLiteral("mock1"), AdapterKind::mock, std::nullopt,
                                                  QStringLiteral("Mock"), false, std::nullopt, std::nullopt);
    QWidget host;
    host.resize(700, 500);
    ExpandedCard card(store, mock, &host);
    card.setGeometry(0, 0, 600, 400);
    host.show();
    EXPECT_EQ(card.commandBar(), nullptr);
    EXPECT_EQ(card.openITerm2Button(), nullptr);
    EXPECT_EQ(card.liveContent(), nullptr);
    card.toggleSearch();
    EXPECT_FALSE(card.searchBar()->isVisible());
    auto* empty = card.preview()->findChild<QLabel*>();
    auto* text = card.preview()->findChild<QPlainTextEdit*>();
    EXPECT_EQ(empty->text(), QStringLiteral("미리보기 없음"));
    EXPECT_TRUE(empty->isVisible());
    // Spaces are text: the preview shows them.
    mock->setPreviewText(QStringLiteral("   "));
    EXPECT_FALSE(empty->isVisible());
    EXPECT_TRUE(text->isVisible());
    EXPECT_EQ(text->toPlainText(), QStringLiteral("   "));
    if (shotsWanted()) saveShot(grabAt(host, 1), QStringLiteral("expanded-mock"));
}

TEST_F(ExpandedViewTest, AnimationShowsAPictureAndResizesTheBorrowedPaneOnceEachWay)
{
    SessionStore& store = makeLiveStore();
    const QString id = store.newEmbeddedSession(QStringLiteral("busy"), std::nullopt, std::nullopt)->id();
    ExpandedView& view = showOver(store, ExpandedView::defaultDurationMs);
    // The tile holds the pane before the card borrows it.
    QWidget* tile = live_->cellContentView(id);
    tile->setParent(grid_.get());
    tile->setGeometry(10, 10, 240, 160);
    tile->show();
    QPointer<corvel::TerminalView> pane = live_->paneViews(id)[0];
    ResizeCounter resizes(pane);

    store.toggleExpand(id);
    EXPECT_EQ(view.phase(), ExpandedView::Phase::opening);
    EXPECT_EQ(resizes.count, 1);
    EXPECT_FALSE(view.card()->isVisible());
    if (shotsWanted()) saveShot(grabAt(*grid_, 1), QStringLiteral("expanded-opening"));
    view.finishAnimation();
    EXPECT_EQ(view.phase(), ExpandedView::Phase::open);
    EXPECT_TRUE(pane->isVisible());
    EXPECT_TRUE(view.card()->isAncestorOf(pane));
    EXPECT_TRUE(pane->hasFocus());
    EXPECT_EQ(resizes.count, 1);
    const QSize cardSize = pane->size();

    view.collapse();
    EXPECT_EQ(view.phase(), ExpandedView::Phase::closing);
    // Handed back, not deleted: the pane waits, detached, for its tile.
    EXPECT_EQ(pane->parentWidget(), nullptr);
    EXPECT_EQ(pane->size(), cardSize);
    delete tile;  // the old container no longer holds the pane
    ASSERT_TRUE(pane);
    view.finishAnimation();
    EXPECT_EQ(view.phase(), ExpandedView::Phase::hidden);
    EXPECT_EQ(resizes.count, 1);
    pane->removeEventFilter(&resizes);
}
