// Every sheet and the import panel painted in the light and the dark
// palette at scales 1 and 2: each keeps its logical size at both scales and
// paints its own window colour (dark stays dark). With TILEBAY_SCREENSHOT_DIR
// set, the grabs are saved there for a look.
#include "SheetTestSupport.h"

#include "app/ui/design/DSPalette.h"
#include "app/ui/panel/ITerm2ImportPanel.h"
#include "app/ui/sheets/NewTerminalSheet.h"
#include "app/ui/sheets/OnboardingSheet.h"
#include "app/ui/sheets/ProfileLauncherSheet.h"
#include "app/ui/sheets/SettingsSheet.h"

#include <QLayout>

namespace tilebay::testing {
namespace {

class SheetsLookTest : public SheetTest {};

TEST_F(SheetsLookTest, EverySheetAndThePanelInBothAppearancesAtScalesOneAndTwo)
{
    FakeOsascript osascript;
    osascript.setReply(listing({{"w0b1c2d3e4f5", "build (make)", ""}, {"a", "", ""}}));
    SessionStore& store = makeStore();
    store.setProfiles({{"1", "Web", "/srv/web", "npm run dev"}, {"2", "Docs", std::nullopt, std::nullopt},
                       {"3", "긴 이름의 프로필", "/home/user/projects/with/a/very/long/path", "claude"}});
    store.setNewTerminalCwd("/home/user");
    store.setShowImport(true);
    ITerm2ImportPanel panel(store);
    panel.resize(ITerm2ImportPanel::kWidth, 420);
    panel.show();
    ASSERT_TRUE(pumpUntil([&] { return !store.importLoading(); }));
    pumpQueued();

    NewTerminalSheet newTerminal(store, nullptr);
    ProfileLauncherSheet launcher(store);
    SettingsSheet settings(store);
    OnboardingSheet guide;
    const std::vector<std::pair<QWidget*, QString>> views{
        {&newTerminal, "new-terminal"}, {&launcher, "launcher"}, {&settings, "settings"},
        {&guide, "guide"}, {&panel, "import-panel"}};

    for (bool dark : {false, true}) {
        const QPalette palette = dark ? darkPalette() : lightPalette();
        for (auto& [view, name] : views) {
            view->setPalette(palette);
            view->ensurePolished();
            if (auto* layout = view->layout()) layout->activate();
            const QSize logical = view->size();
            for (qreal ratio : {1.0, 2.0}) {
                SCOPED_TRACE(name.toStdString() + (dark ? " dark " : " light ") + std::to_string(ratio));
                const QImage image = test::grabAt(*view, ratio);
                EXPECT_EQ(image.size(), logical * ratio);
                const QColor corner = test::probe(image, 2, logical.height() - 2);
                EXPECT_EQ(corner.lightness() < 128, dark);
                test::saveShot(image, QStringLiteral("%1-%2-x%3").arg(name, dark ? "dark" : "light").arg(ratio));
            }
        }
    }
    EXPECT_EQ(settings.size(), QSize(460, 460));
    EXPECT_EQ(guide.size(), QSize(540, 560));
    EXPECT_EQ(newTerminal.width(), 470);
    EXPECT_EQ(launcher.width(), 520);
}

}  // namespace
}  // namespace tilebay::testing
