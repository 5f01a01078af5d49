// The settings sheet: stepper clicks that save and restart the poll timer
// (and clicks at a bound that write nothing), labels that show stored values
// outside the range, the font size reaching every real shell, the tmux
// caption without tmux, profile removal and the switches' saves, and the
// guide button handing over to the first-run guide.
#include "SheetTestSupport.h"

#include "app/adapters/embedded/PTYProcess.h"
#include "corvel/qt/TerminalView.h"
#include "app/ui/sheets/OnboardingSheet.h"
#include "app/ui/sheets/SettingsSheet.h"
#include "app/ui/sheets/Stepper.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>

namespace tilebay::testing {
namespace {

class SettingsSheetTest : public SheetTest {
protected:
    SettingsSheet* openSettings()
    {
        present();
        store_->setShowSettings(true);
        return open<SettingsSheet>();
    }
};

TEST_F(SettingsSheetTest, PollStepperSavesRestartsTheTimerAndWritesNothingAtItsBound)
{
    SessionStore& store = makeStore();
    auto* sheet = openSettings();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->size(), QSize(460, 460));
    saves();

    sheet->pollStepper()->plusButton()->click();
    EXPECT_EQ(store.pollIntervalMs(), 1250);
    EXPECT_EQ(saves(), 1);
    ASSERT_TRUE(savedDoc());
    EXPECT_EQ(savedDoc()->pollIntervalMs, 1250);
    EXPECT_EQ(store.timerIntervalMs(), 1250) << "the timer ticks at the new period at once";
    EXPECT_EQ(sheet->pollStepper()->label()->text(), "폴링 주기: 1250 ms (하한 250)");

    // A change made elsewhere while the sheet is open is handled alike.
    store.setPollIntervalMs(5000);
    EXPECT_EQ(saves(), 1);
    EXPECT_EQ(store.timerIntervalMs(), 5000);
    sheet->pollStepper()->plusButton()->click();
    EXPECT_EQ(store.pollIntervalMs(), 5000);
    EXPECT_EQ(saves(), 0) << "a click that changes nothing writes nothing";
    EXPECT_EQ(store.timerIntervalMs(), 5000);

    for (int i = 0; i < 25; ++i) sheet->idleStepper()->minusButton()->click();
    EXPECT_EQ(store.idleThresholdSec(), 3);
    EXPECT_EQ(saves(), 5);
    EXPECT_EQ(sheet->idleStepper()->label()->text(), "유휴 임계: 3 s");

    // Once the sheet is gone, its handlers are too.
    sheet->doneButton()->click();
    pumpQueued();
    store.setPollIntervalMs(750);
    EXPECT_EQ(saves(), 0);
    EXPECT_EQ(store.timerIntervalMs(), 5000);
}

TEST_F(SettingsSheetTest, LabelsShowStoredValuesOutsideTheRange)
{
    writeLayout(R"({"version":1,"cells":[],"pollIntervalMs":7000,"terminalFontSize":13.5})");
    makeStore();
    auto* sheet = openSettings();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->pollStepper()->label()->text(), "폴링 주기: 7000 ms (하한 250)");
    EXPECT_EQ(sheet->fontSizeStepper()->label()->text(), "글꼴 크기: 13pt");
    sheet->pollStepper()->minusButton()->click();
    EXPECT_EQ(store_->pollIntervalMs(), 5000) << "a step never leaves the range";
}

TEST_F(SettingsSheetTest, FontSizeSixteenShrinksColumnsInEveryShellOffScreen)
{
    SessionStore& store = makeShellStore();
    const auto a = store.newEmbeddedSession(QString("a"), std::nullopt, std::nullopt);
    const auto b = store.newEmbeddedSession(QString("b"), std::nullopt, std::nullopt);
    ASSERT_TRUE(a && b);
    auto columns = [&](const QString& id, const QString& mark) {
        store.embedded().sendText(id, "echo " + mark + "$(tput cols)X\r");
        std::optional<int> found;
        pumpUntil([&] {
            const auto m = QRegularExpression(mark + "(\\d+)X").match(store.embedded().visibleText(id));
            if (m.hasMatch()) found = m.captured(1).toInt();
            return found.has_value();
        });
        return found.value_or(-1);
    };
    const int beforeA = columns(a->id(), "C");
    const int beforeB = columns(b->id(), "C");
    ASSERT_GT(beforeA, 0);
    ASSERT_GT(beforeB, 0);

    auto* sheet = openSettings();
    ASSERT_NE(sheet, nullptr);
    for (int i = 0; i < 3; ++i) sheet->fontSizeStepper()->plusButton()->click();
    EXPECT_EQ(store.terminalFontSize(), 16.0);
    EXPECT_EQ(sheet->fontSizeStepper()->label()->text(), "글꼴 크기: 16pt");
    EXPECT_EQ(savedDoc()->terminalFontSize, 16.0);

    const int afterA = columns(a->id(), "D");
    const int afterB = columns(b->id(), "D");
    EXPECT_LT(afterA, beforeA);
    EXPECT_LT(afterB, beforeB);
    corvel::TerminalView& view = shells_->primary(a->id())->terminalView();
    EXPECT_EQ(afterA, view.getTerminal().cols());
    EXPECT_FALSE(view.isVisible()) << "never on screen";
}

TEST_F(SettingsSheetTest, WithoutTmuxTheCaptionSaysHowToInstallIt)
{
    // The store asks through the embedded adapter's lookup, here one that finds nothing.
    auto deps = dependencies(std::make_unique<FakeEmbeddedAdapter>());
    deps.findTmux = [] { return PTYProcess::tmuxPath(TmuxLookup::none()).has_value(); };
    store_ = std::make_unique<SessionStore>(std::move(deps));
    auto* sheet = openSettings();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->tmuxCaption()->text(),
              "\u26A0\uFE0E tmux가 설치돼 있지 않습니다. 터미널에서 `apt install tmux` 후 켜면 적용됩니다. (미설치 시 "
              "일반 셸로 동작)");
    sheet->tmuxToggle()->click();
    EXPECT_TRUE(store_->tmuxPersistence()) << "the switch stays usable";
}

TEST_F(SettingsSheetTest, ProfilesAreRemovedUnaskedAndEverySwitchSavesOnce)
{
    SessionStore& store = makeStore();
    store.setProfiles({{"p1", "one", "/a", std::nullopt}, {"p2", "two", std::nullopt, "ls"}});
    auto* sheet = openSettings();
    ASSERT_NE(sheet, nullptr);
    ASSERT_EQ(sheet->deleteButtons().size(), 2u);
    EXPECT_EQ(sheet->profilesPlaceholder(), nullptr);
    saves();

    sheet->deleteButtons()[0]->click();
    pumpQueued();
    ASSERT_EQ(store.profiles().size(), 1u);
    EXPECT_EQ(store.profiles()[0].id, "p2");
    EXPECT_EQ(saves(), 1);
    sheet->deleteButtons()[0]->click();
    pumpQueued();
    EXPECT_TRUE(store.profiles().empty());
    ASSERT_NE(sheet->profilesPlaceholder(), nullptr);
    EXPECT_EQ(sheet->profilesPlaceholder()->text(), "새 터미널 만들 때 \u2018프로필로 저장\u2019을 켜면 여기 추가됩니다.");
    saves();

    for (QCheckBox* toggle : {sheet->absorbToggle(), sheet->stripTitlesToggle(), sheet->pythonToggle(),
                              sheet->tmuxToggle()}) {
        SCOPED_TRACE(toggle->text().toStdString());
        toggle->click();
        EXPECT_EQ(saves(), 1);
    }
    EXPECT_TRUE(store.stripTitleTails());
    EXPECT_TRUE(store.iterm2().usePythonAPI);
    sheet->appearanceGroup()->button(static_cast<int>(AppAppearance::dark))->click();
    EXPECT_EQ(store.appearance(), AppAppearance::dark);
    EXPECT_EQ(saves(), 1);
    pumpUntil([&] { return !store.isPollingITerm2(); });
}

TEST_F(SettingsSheetTest, GuideButtonClosesSettingsThenTheGuideOpens)
{
    writeLayout(R"({"version":1,"cells":[]})");
    SessionStore& store = makeStore();
    ASSERT_FALSE(store.showOnboarding());
    auto* sheet = openSettings();
    ASSERT_NE(sheet, nullptr);
    sheet->guideButton()->click();
    pumpQueued();
    EXPECT_FALSE(store.showSettings());
    EXPECT_TRUE(store.showOnboarding());
    auto* guide = open<OnboardingSheet>();
    ASSERT_NE(guide, nullptr);
    key(guide, Qt::Key_Return);
    EXPECT_FALSE(store.showOnboarding());
    EXPECT_EQ(presenter_->current(), nullptr);
}

}  // namespace
}  // namespace tilebay::testing
