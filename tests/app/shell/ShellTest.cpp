// The application shell offscreen: the window's title, size limits and menu
// commands (their keys against a terminal are tried under X11, in
// ShellX11Test), the appearance in force at once, the first start with an
// empty data folder, and the hot key that cannot be had without X11 (one log
// line, the application runs on).
#include "app/shell/HotKeyManager.h"
#include "app/shell/MainWindow.h"
#include "app/shell/TilebayApp.h"
#include "app/ui/design/DS.h"
#include "app/ui/expanded/ExpandedView.h"
#include "corvel/platform/Log.h"
#include "tests/app/store/StoreTestSupport.h"
#include "tests/app/ui/support/UiTestSupport.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

using namespace tilebay;
using namespace tilebay::testing;

namespace {

class ShellTest : private tilebay::test::UiAppFirst, public StoreTest {
protected:
    TilebayApp& makeApp()
    {
        auto fake = std::make_unique<FakeEmbeddedAdapter>();
        embedded_ = fake.get();
        savedPalette_ = QApplication::palette();
        app_ = std::make_unique<TilebayApp>(*qApp, dependencies(std::move(fake)));
        return *app_;
    }
    ~ShellTest() override
    {
        app_.reset();
        if (savedPalette_) QApplication::setPalette(*savedPalette_);
    }

    // The mean luminance (0 to 1) of a widget's pixels.
    static double luminance(QWidget& widget)
    {
        const QImage image = tilebay::test::grabAt(widget, 1);
        double sum = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                sum += 0.2126 * c.redF() + 0.7152 * c.greenF() + 0.0722 * c.blueF();
            }
        return sum / (image.width() * image.height());
    }

    std::unique_ptr<TilebayApp> app_;
    std::optional<QPalette> savedPalette_;
};

}  // namespace

TEST_F(ShellTest, WindowMenuCommandsAndFirstStart)
{
    TilebayApp& app = makeApp();
    MainWindow& window = app.window();
    EXPECT_TRUE(app.store().showOnboarding());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Cellwright"));
    EXPECT_EQ(window.minimumSize(), QSize(480, 320));
    EXPECT_LE(window.width(), 1200);
    EXPECT_GE(window.width(), 480);

    const auto menus = window.menuBar()->findChildren<QMenu*>();
    ASSERT_EQ(menus.size(), 1);
    EXPECT_EQ(menus[0]->title(), QStringLiteral("파일"));
    ASSERT_EQ(menus[0]->actions().size(), 2);
    EXPECT_EQ(menus[0]->actions()[0]->text(), QStringLiteral("새 터미널"));
    EXPECT_EQ(menus[0]->actions()[0]->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+T")));
    EXPECT_EQ(menus[0]->actions()[1]->text(), QStringLiteral("프로필 열기\u2026"));
    EXPECT_EQ(menus[0]->actions()[1]->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+O")));

    // After a cancelled prompt with text, "새 터미널" shows empty fields.
    app.store().setNewTerminalName(QStringLiteral("left over"));
    app.store().setNewTerminalCommand(QStringLiteral("make"));
    window.newTerminalAction()->trigger();
    EXPECT_TRUE(app.store().showNewTerminalPrompt());
    EXPECT_TRUE(app.store().newTerminalName().isEmpty());
    EXPECT_TRUE(app.store().newTerminalCommand().isEmpty());
    window.openProfileAction()->trigger();
    EXPECT_TRUE(app.store().showProfileLauncher());

    // An empty data folder: the guide was asked for (see the start of the
    // test) and nothing is written.
    pumpQueued();
    EXPECT_FALSE(fs::exists(layoutPath()));
    // The expanded overlay lies over the grid's area.
    EXPECT_EQ(window.expandedView()->parentWidget(), window.gridArea());
}

TEST_F(ShellTest, AppearanceChangesShowAtOnce)
{
    TilebayApp& app = makeApp();
    MainWindow& window = app.window();
    window.resize(600, 400);
    window.show();
    app.store().setAppearance(AppAppearance::dark);
    pumpQueued();
    const double dark = luminance(window);
    if (tilebay::test::shotsWanted()) tilebay::test::saveShot(tilebay::test::grabAt(window, 1), "window-dark");
    EXPECT_LT(dark, 0.25);
    app.store().setAppearance(AppAppearance::light);
    pumpQueued();
    EXPECT_GT(luminance(window), 0.6);
    EXPECT_EQ(QApplication::palette().color(QPalette::Highlight), DS::orange());
    EXPECT_EQ(QApplication::palette().color(QPalette::Link), DS::orange());
    window.hide();
}

TEST(HotKeyOffscreen, RefusedHotKeyLogsOneLineAndTheApplicationRunsOn)
{
    tilebay::test::uiApp();
    if (QGuiApplication::platformName() == QLatin1String("xcb")) GTEST_SKIP() << "an X server is there";
    corvel::log::Capture log;
    EXPECT_FALSE(HotKeyManager::shared().registerHotKey());
    EXPECT_FALSE(HotKeyManager::shared().registered());
    ASSERT_EQ(log.count("Tilebay: 전역 단축키 등록 실패 — "), 1u);
    EXPECT_TRUE(log.contains("no X11 display (platform offscreen)"));
}
