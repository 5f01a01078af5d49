// Every sheet and the import panel painted in the light and the dark
// palette at scales 1 and 2: each keeps its logical size at both scales and
// paints its own window colour (dark stays dark). In dark, the chosen theme
// segment, the check boxes (unchecked and checked) and the profiles' delete
// buttons stand out from what lies around them; in light the segment and
// the boxes are the style's own. With
// TILEBAY_SCREENSHOT_DIR set, the grabs are saved there for a look.
#include "SheetTestSupport.h"

#include "app/ui/design/DSPalette.h"
#include "app/ui/panel/ITerm2ImportPanel.h"
#include "app/ui/sheets/NewTerminalSheet.h"
#include "app/ui/sheets/OnboardingSheet.h"
#include "app/ui/sheets/ProfileLauncherSheet.h"
#include "app/ui/sheets/SettingsSheet.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLayout>
#include <QPushButton>
#include <QStyleOptionButton>

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
    // Against what lies around them: 3:1 for a box or a fill, 4.5:1 for text
    // in dark; in light, the look of the style's own control beside them.
    auto styleOwn = [](QAbstractButton& control, QAbstractButton& plain) {
        plain.setFont(control.font());
        plain.setCheckable(true);
        plain.setChecked(control.isChecked());
        plain.resize(control.size());
        return test::grabAt(plain, 2) == test::grabAt(control, 2);
    };
    QAbstractButton* chosen = settings.appearanceGroup()->checkedButton();
    ASSERT_NE(chosen, nullptr);
    QAbstractButton* other = settings.appearanceGroup()->buttons().at(chosen == settings.appearanceGroup()->buttons().at(0));
    for (bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        settings.setPalette(dark ? darkPalette() : lightPalette());
        newTerminal.setPalette(dark ? darkPalette() : lightPalette());
        for (QCheckBox* box : {settings.tmuxToggle(), newTerminal.saveAsProfile()}) {
            for (bool on : {false, true}) {
                box->setChecked(on);
                QStyleOptionButton option;
                option.initFrom(box);
                const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
                const QImage image = test::grabAt(*box, 2);
                QCheckBox plain(box->text(), box->parentWidget());
                if (dark) EXPECT_GE(test::strongestContrast(image, indicator, test::probe(image, 0, 0)), 3.0) << on;
                else EXPECT_TRUE(styleOwn(*box, plain)) << on;
            }
            box->setChecked(false);
        }
        const QImage chosenImage = test::grabAt(*chosen, 2);
        const QColor chosenFill = test::probe(chosenImage, 5, chosen->height() / 2.0);
        const QColor otherFill = test::probe(test::grabAt(*other, 2), 5, chosen->height() / 2.0);
        QPushButton plain(chosen->text(), chosen->parentWidget());
        plain.setAutoDefault(false);
        if (dark) {
            EXPECT_GE(test::contrastRatio(chosenFill, otherFill), 3.0);
            EXPECT_GE(test::strongestContrast(chosenImage, chosen->rect(), chosenFill), 4.5);
        } else {
            EXPECT_TRUE(styleOwn(*chosen, plain));
        }
        // The profiles' delete buttons, made in light, follow the palette.
        for (QAbstractButton* remove : settings.deleteButtons()) {
            const QImage image = test::grabAt(*remove, 2);
            EXPECT_GE(test::strongestContrast(image, remove->rect(), test::probe(image, 0, 0)), 3.0);
        }
    }

    EXPECT_EQ(settings.size(), QSize(460, 460));
    EXPECT_EQ(guide.size(), QSize(540, 560));
    EXPECT_EQ(newTerminal.width(), 470);
    EXPECT_EQ(launcher.width(), 520);
}

}  // namespace
}  // namespace tilebay::testing
