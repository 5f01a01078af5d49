// The iTerm2 import panel over the stand-in osascript's listing: what the
// entries show, a click absorbing at the end of the grid, the spinner on
// every refresh, the timer's ticks skipped while a refresh runs, the refresh
// button, and the timer stopping when the panel is closed or hidden.
#include "SheetTestSupport.h"

#include "app/ui/design/SymbolButton.h"
#include "app/ui/panel/ITerm2ImportPanel.h"
#include "app/ui/panel/ImportChip.h"

namespace tilebay::testing {
namespace {

class ImportPanelTest : public SheetTest {
protected:
    ImportPanelTest()
    {
        osascript.setReply(listing({{"a", "Build", ""}, {"a", "dup", ""}, {"", "x", ""}, {"b", "", ""}}));
    }
    size_t listings() const { return osascript.scripts().size(); }
    bool refreshed() { return pumpUntil([&] { return !store_->importLoading(); }); }

    FakeOsascript osascript;
};

TEST_F(ImportPanelTest, EntriesShowNamesAndShortIdsAndAClickAppendsTheSession)
{
    SessionStore& store = makeStore();
    store.newEmbeddedSession(QString("first"), std::nullopt, std::nullopt);
    store.setShowImport(true);
    ITerm2ImportPanel panel(store);
    panel.resize(ITerm2ImportPanel::kWidth, 500);
    panel.show();
    EXPECT_EQ(panel.content(), ITerm2ImportPanel::Content::loading) << "showing the panel refreshes";
    ASSERT_TRUE(refreshed());
    pumpQueued();

    ASSERT_EQ(panel.content(), ITerm2ImportPanel::Content::list);
    ASSERT_EQ(panel.chips().size(), 2u);
    EXPECT_EQ(panel.chips()[0]->displayName(), "Build");
    EXPECT_EQ(panel.chips()[0]->displayId(), "a\u2026");
    EXPECT_EQ(panel.chips()[1]->displayName(), "(이름 없음)");
    EXPECT_EQ(ImportChip::dragPayload(panel.chips()[1]->session()), QStringLiteral("EXT\u0001b\u0001"));
    EXPECT_EQ(ImportChip::dragPayload({"0123456789", "n\u0001m", ""}), QStringLiteral("EXT\u00010123456789\u0001n\u0001m"));
    EXPECT_EQ(ImportChip({"0123456789abc", "", ""}).displayId(), "01234567\u2026");

    QTest::mouseClick(panel.chips()[1], Qt::LeftButton, {}, QPoint(20, 10));
    pumpQueued();
    ASSERT_EQ(store.cells().size(), 2u);
    EXPECT_EQ(store.cells()[1]->externalRef(), "b");
    EXPECT_EQ(store.cells()[1]->projectLabel(), "") << "the empty name is passed on, not the placeholder";
    ASSERT_EQ(panel.chips().size(), 1u);
    EXPECT_EQ(panel.chips()[0]->session().guid, "a");

    // Space on a focused entry acts like a click.
    panel.chips()[0]->setFocus();
    QTest::keyClick(panel.chips()[0], Qt::Key_Space);
    pumpQueued();
    EXPECT_EQ(store.cells().size(), 3u);
    EXPECT_EQ(panel.content(), ITerm2ImportPanel::Content::empty);
    EXPECT_FALSE(panel.emptyState()->isHidden());
}

TEST_F(ImportPanelTest, TicksRefreshUnlessOneRunsAndTheTimerStopsWhenClosedOrHidden)
{
    SessionStore& store = makeStore();
    store.setShowImport(true);
    ITerm2ImportPanel panel(store);
    EXPECT_FALSE(panel.refreshTimer().isActive());
    panel.show();
    EXPECT_TRUE(panel.refreshTimer().isActive());
    EXPECT_EQ(panel.refreshTimer().interval(), 3000);
    ASSERT_TRUE(refreshed());
    pumpQueued();
    const size_t afterShow = listings();
    ASSERT_EQ(panel.content(), ITerm2ImportPanel::Content::list);

    panel.autoRefreshTick();
    EXPECT_EQ(panel.content(), ITerm2ImportPanel::Content::loading) << "the list gives way to the spinner";
    panel.autoRefreshTick();  // skipped: one runs
    ASSERT_TRUE(refreshed());
    EXPECT_EQ(listings(), afterShow + 1);
    EXPECT_EQ(panel.content(), ITerm2ImportPanel::Content::list);

    panel.refreshButton()->click();
    panel.refreshButton()->click();  // the button always refreshes
    ASSERT_TRUE(refreshed());
    pumpUntil([&] { return listings() == afterShow + 3; });
    EXPECT_EQ(listings(), afterShow + 3);

    panel.closeButton()->click();
    EXPECT_FALSE(store.showImport());
    EXPECT_FALSE(panel.refreshTimer().isActive());

    // Shown again: a refresh at once and the timer back on; hidden: off.
    store.setShowImport(true);
    panel.hide();
    panel.show();
    EXPECT_TRUE(store.importLoading());
    EXPECT_TRUE(panel.refreshTimer().isActive());
    panel.hide();
    EXPECT_FALSE(panel.refreshTimer().isActive());
    ASSERT_TRUE(refreshed());
}

}  // namespace
}  // namespace tilebay::testing
