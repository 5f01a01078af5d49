// The presenter over a window: the first-run guide raised by a missing
// layout document (the store decides when, see its tests), shown only once
// the window is, at its fixed size whatever the window's; flags raised while
// a sheet is open wait and are served in order; a flag the store lowers
// closes its sheet; the window's own close of a sheet lowers its flag.
#include "SheetTestSupport.h"

#include "app/ui/design/DSPrimaryButton.h"
#include "app/ui/sheets/NewTerminalSheet.h"
#include "app/ui/sheets/OnboardingSheet.h"
#include "app/ui/sheets/ProfileLauncherSheet.h"
#include "app/ui/sheets/SettingsSheet.h"

namespace tilebay::testing {
namespace {

class SheetPresenterTest : public SheetTest {};

TEST_F(SheetPresenterTest, GuideAtFirstRunOpensOnlyOnceTheWindowIsShownAndKeepsItsSize)
{
    SessionStore& store = makeStore();
    ASSERT_TRUE(store.showOnboarding());
    for (QSize windowSize : {QSize(480, 320), QSize(1600, 1000)}) {
        SCOPED_TRACE(windowSize.width());
        store.setShowOnboarding(true);
        window_ = std::make_unique<QWidget>();
        window_->resize(windowSize);
        presenter_ = new SheetPresenter(window_.get(), store);
        pumpQueued();
        EXPECT_EQ(presenter_->current(), nullptr) << "nothing before the window is shown";
        window_->show();
        auto* guide = open<OnboardingSheet>();
        ASSERT_NE(guide, nullptr);
        EXPECT_EQ(guide->size(), QSize(540, 560));
        EXPECT_TRUE(guide->isVisible());
        EXPECT_EQ(guide->windowModality(), Qt::WindowModal);
        guide->startButton()->click();
        pumpQueued();
        EXPECT_FALSE(store.showOnboarding());
        EXPECT_EQ(presenter_->current(), nullptr);
    }
}

TEST_F(SheetPresenterTest, FlagsRaisedMeanwhileWaitAndAreServedInOrder)
{
    writeLayout(R"({"version":1,"cells":[]})");
    SessionStore& store = makeStore();
    present();
    store.setShowProfileLauncher(true);
    ASSERT_NE(open<ProfileLauncherSheet>(), nullptr);
    store.promptNewTerminal();
    store.setShowSettings(true);
    EXPECT_NE(open<ProfileLauncherSheet>(), nullptr) << "one sheet at a time";

    key(presenter_->current(), Qt::Key_Escape);
    EXPECT_FALSE(store.showProfileLauncher());
    auto* settings = open<SettingsSheet>();
    ASSERT_NE(settings, nullptr) << "settings come before the new terminal";
    key(settings, Qt::Key_Return);
    EXPECT_FALSE(store.showSettings());
    auto* prompt = open<NewTerminalSheet>();
    ASSERT_NE(prompt, nullptr);

    // The store lowering the flag closes the sheet; the window's close does too.
    store.setShowNewTerminalPrompt(false);
    pumpQueued();
    EXPECT_EQ(presenter_->current(), nullptr);
    EXPECT_FALSE(prompt->isVisible());
    store.setShowSettings(true);
    auto* again = open<SettingsSheet>();
    ASSERT_NE(again, nullptr);
    again->close();
    pumpQueued();
    EXPECT_FALSE(store.showSettings());
    EXPECT_TRUE(store.cells().empty());
}

}  // namespace
}  // namespace tilebay::testing
