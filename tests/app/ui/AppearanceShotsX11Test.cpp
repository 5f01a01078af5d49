// The window and the expanded cards on a real X server (xvfb-run), light and
// dark: the whole window over a live shell tile, the card of that tile with
// its search bar open, the card of an iTerm2 cell and the card of a mock
// cell. Each picture is grabbed as the screen shows it (QWidget::grab, so at
// the screen's scale: run with QT_SCALE_FACTOR=2 for the doubled one) and
// saved when TILEBAY_SCREENSHOT_DIR names a folder. In dark, every one of
// them is dark as a whole and in the card's own chrome; in light, light.
#include "app/core/TerminalSession.h"
#include "app/shell/MainWindow.h"
#include "app/shell/TilebayApp.h"
#include "app/ui/expanded/ExpandedCard.h"
#include "app/ui/design/DS.h"
#include "app/ui/expanded/ExpandedView.h"
#include "app/ui/toolbar/ToolbarView.h"
#include "corvel/qt/TerminalView.h"
#include "tests/app/ui/support/X11AppFixture.h"
#include "tests/app/ui/support/XdotoolSupport.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QWindow>

using namespace tilebay;
using namespace tilebay::test;

namespace {

// The mean luminance (0 to 1) of an image's pixels inside `area` (logical
// pixels; the whole image when empty).
double luminance(const QImage& image, QRectF area = {})
{
    const qreal ratio = image.devicePixelRatio();
    const QRect pixels = area.isEmpty() ? image.rect()
                                        : QRectF(area.topLeft() * ratio, area.size() * ratio).toAlignedRect();
    double sum = 0;
    for (int y = pixels.top(); y <= pixels.bottom(); ++y)
        for (int x = pixels.left(); x <= pixels.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            sum += 0.2126 * c.redF() + 0.7152 * c.greenF() + 0.0722 * c.blueF();
        }
    return sum / (pixels.width() * pixels.height());
}

class AppearanceShotsX11 : public X11AppFixture {
protected:
    AppearanceShotsX11()
    {
        // A saved (empty) layout: not a first start, so no guide opens.
        writeLayout("{}");
        palette_ = QApplication::palette();
    }
    ~AppearanceShotsX11() override
    {
        app_.reset();
        QApplication::setPalette(palette_);
    }

    // Grabs `widget` as the screen shows it, saves it under `name` (with the
    // scale in the name) and returns it.
    static QImage shot(QWidget& widget, const QString& name)
    {
        QCoreApplication::processEvents();
        QImage image = widget.grab().toImage();
        saveShot(image, name + QStringLiteral("-x") + QString::number(image.devicePixelRatio()));
        return image;
    }
    // Whether a picture's luminance (of `area`, else the whole) suits the appearance.
    static bool suits(const QImage& image, bool dark, QRectF area = {})
    {
        const double value = luminance(image, area);
        return dark ? value < 0.25 : value > 0.6;
    }

    QPalette palette_;
    std::unique_ptr<TilebayApp> app_;
};

}  // namespace

TEST_F(AppearanceShotsX11, WindowAndCardsFollowLightAndDark)
{
    app_ = std::make_unique<TilebayApp>(*qApp, TilebayApp::standardDependencies());
    SessionStore& store = app_->store();
    MainWindow& window = app_->window();
    window.resize(1200, 800);
    window.show();
    ASSERT_TRUE(waitFor([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }));
    const QString shell = store.newEmbeddedSession(QStringLiteral("shell"), std::nullopt, std::nullopt)->id();
    store.embedded().sendText(shell, QStringLiteral("clear; seq 1 40\r"));
    ASSERT_TRUE(waitFor([&] { return store.embedded().visibleText(shell).contains(QStringLiteral("\n40")); }));
    store.absorbExternal(QStringLiteral("guid-shots"), QStringLiteral("Build"), 1);
    const QString iterm = store.cells().back()->id();
    ExpandedView& overlay = *window.expandedView();
    overlay.setDuration(0);

    // The mock card has no cell in the store's grid: it stands alone, at the
    // size the window gives a card.
    auto mock = std::make_shared<TerminalSession>(QStringLiteral("mockShots"), AdapterKind::mock, std::nullopt,
                                                  QStringLiteral("Mock"), false, std::nullopt, std::nullopt);
    mock->setPreviewText(QStringLiteral("$ make\nbuilding…\nok"));
    QWidget host;
    host.resize(860, 560);
    auto* mockCard = new ExpandedCard(store, mock, &host);
    mockCard->setGeometry(host.rect());

    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        const QString look = dark ? QStringLiteral("dark") : QStringLiteral("light");
        store.setAppearance(dark ? AppAppearance::dark : AppAppearance::light);
        // Whole in dark; in light the tiles' terminals stay dark, so the menu
        // bar and the toolbar are what is read.
        const QImage windowShot = shot(window, QStringLiteral("window-") + look);
        const auto* toolbar = window.findChild<ToolbarView*>();
        ASSERT_NE(toolbar, nullptr);
        const QRect chrome(0, 0, window.width(), toolbar->mapTo(&window, QPoint(0, toolbar->height())).y());
        EXPECT_TRUE(suits(windowShot, dark, dark ? QRect() : chrome)) << luminance(windowShot, chrome);

        // The shell's card with its search: the chrome is the band above the
        // pane and the search bar.
        store.toggleExpand(shell);
        ASSERT_EQ(overlay.phase(), ExpandedView::Phase::open);
        ExpandedCard* card = overlay.card();
        card->toggleSearch();
        card->searchField()->setText(QStringLiteral("17"));
        const QImage withSearch = shot(window, QStringLiteral("card-search-") + look);
        const QRect header(card->mapTo(&window, QPoint(0, 0)),
                           QSize(card->width(), card->liveContent()->mapTo(card, QPoint(0, 0)).y()));
        EXPECT_TRUE(suits(withSearch, dark, header)) << luminance(withSearch, header);
        const QRect bar(card->searchBar()->mapTo(&window, QPoint(0, 0)), card->searchBar()->size());
        EXPECT_TRUE(suits(withSearch, dark, bar)) << luminance(withSearch, bar);
        card->closeSearch();
        store.toggleExpand(shell);

        // The iTerm2 card: its preview and its command bar.
        store.toggleExpand(iterm);
        ASSERT_EQ(overlay.phase(), ExpandedView::Phase::open);
        card = overlay.card();
        const QImage itermShot = shot(window, QStringLiteral("card-iterm2-") + look);
        const QRect commands(card->commandBar()->mapTo(&window, QPoint(0, 0)), card->commandBar()->size());
        EXPECT_TRUE(suits(itermShot, dark, commands)) << luminance(itermShot, commands);
        store.toggleExpand(iterm);

        // The mock card was made in light: a new palette recolours it too.
        host.setPalette(QApplication::palette());
        host.show();
        const QImage mockShot = shot(host, QStringLiteral("card-mock-") + look);
        const QRect mockHeader(0, 0, host.width(), mockCard->preview()->mapTo(mockCard, QPoint(0, 0)).y());
        EXPECT_TRUE(suits(mockShot, dark, mockHeader)) << luminance(mockShot, mockHeader);
        // Its status tag is drawn in the secondary text colour of the palette in force.
        auto* tag = mockCard->findChildren<QLabel*>().at(1);
        EXPECT_EQ(tag->palette().color(QPalette::WindowText), DS::secondaryText(host.palette()));
        host.hide();
    }
}
