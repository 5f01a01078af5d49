// The appearance's palettes, and the two capsule buttons drawn offscreen at
// scale 1 and 2 in the light and dark palettes and probed pixel by pixel;
// their hit area and keyboard use.
#include "app/ui/design/DS.h"
#include "app/ui/design/DSOutlineButton.h"
#include "app/ui/design/DSPalette.h"
#include "app/ui/design/DSPrimaryButton.h"
#include "tests/app/ui/support/UiTestSupport.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QStyle>
#include <QTest>

using namespace tilebay;
using namespace tilebay::test;

namespace {

struct Look {
    const char* name;
    QPalette palette;
    qreal ratio;
};

std::vector<Look> looks()
{
    return {{"light1", lightPalette(), 1}, {"light2", lightPalette(), 2},
            {"dark1", darkPalette(), 1},   {"dark2", darkPalette(), 2}};
}

// Counts the device pixels of a logical rectangle that satisfy `pred`.
template <typename Pred>
int countPixels(const QImage& image, const QRectF& logical, Pred pred)
{
    const qreal r = image.devicePixelRatio();
    int n = 0;
    for (int y = int(logical.top() * r); y < int(logical.bottom() * r); ++y)
        for (int x = int(logical.left() * r); x < int(logical.right() * r); ++x)
            if (pred(image.pixelColor(x, y))) ++n;
    return n;
}

// The largest distance of any pixel of the label area from the window colour.
int maxContrast(const QImage& image, const QRectF& area, const QColor& window)
{
    const qreal r = image.devicePixelRatio();
    int best = 0;
    for (int y = int(area.top() * r); y < int(area.bottom() * r); ++y)
        for (int x = int(area.left() * r); x < int(area.right() * r); ++x) {
            const QColor c = image.pixelColor(x, y);
            best = std::max(best, std::abs(c.red() - window.red()) +
                                      std::abs(c.green() - window.green()) +
                                      std::abs(c.blue() - window.blue()));
        }
    return best;
}

}  // namespace

TEST(DesignColours, AppearanceChoosesThePaletteAndSwitchesTheWholeApplication)
{
    const QPalette light = lightPalette(), dark = darkPalette();
    const QColor lightWindow(0xEC, 0xEC, 0xEC), darkWindow(0x32, 0x32, 0x32);
    EXPECT_TRUE(isDarkPalette(dark));
    EXPECT_FALSE(isDarkPalette(light));
    EXPECT_EQ(paletteFor(AppAppearance::system, dark).color(QPalette::Window), darkWindow);
    EXPECT_EQ(paletteFor(AppAppearance::light, dark).color(QPalette::Window), lightWindow);
    EXPECT_EQ(paletteFor(AppAppearance::dark, light).color(QPalette::Window), darkWindow);

    // A widget that already exists follows at once, in the Fusion style.
    QApplication& app = uiApp();
    const QPalette before = QApplication::palette();
    QWidget plain;
    applyAppearance(app, AppAppearance::dark, light);
    QCoreApplication::processEvents();
    EXPECT_EQ(app.style()->name().toLower(), QStringLiteral("fusion"));
    EXPECT_EQ(plain.palette().color(QPalette::Window), darkWindow);
    applyAppearance(app, AppAppearance::system, light);
    QCoreApplication::processEvents();
    EXPECT_EQ(plain.palette().color(QPalette::Window), lightWindow);
    QApplication::setPalette(before);
}

TEST(DesignButtons, PrimaryDimsOnlyItsFillWhenPressed)
{
    uiApp();
    for (const Look& look : looks()) {
        SCOPED_TRACE(look.name);
        DSPrimaryButton b(QStringLiteral("Send"));
        b.setPalette(look.palette);
        b.resize(b.sizeHint());
        const QColor window = look.palette.color(QPalette::Window);
        const QRectF label(16, 7, b.width() - 32, b.height() - 14);
        const qreal midY = b.height() / 2.0;
        auto white = [](const QColor& c) { return c.rgb() == qRgb(255, 255, 255); };

        const QImage normal = grabAt(b, look.ratio);
        saveShot(normal, QStringLiteral("primary-normal-%1").arg(look.name));
        EXPECT_EQ(probe(normal, 5, midY).rgb(), DS::orange().rgb());  // left padding
        EXPECT_EQ(probe(normal, b.width() / 2.0, 2).rgb(), DS::orange().rgb());  // top padding
        const int whiteNormal = countPixels(normal, label, white);
        EXPECT_GT(whiteNormal, 10 * look.ratio * look.ratio);

        b.setDown(true);
        const QImage pressed = grabAt(b, look.ratio);
        saveShot(pressed, QStringLiteral("primary-pressed-%1").arg(look.name));
        const QColor expected = over(DS::orange(), 0.82, window);
        EXPECT_TRUE(near(probe(pressed, 5, midY), expected, 1))
            << probe(pressed, 5, midY).name().toStdString() << " vs " << expected.name().toStdString();
        // The label stays fully white: as many white pixels as before.
        EXPECT_EQ(countPixels(pressed, label, white), whiteNormal);

        b.setDown(false);
        b.setEnabled(false);
        const QImage disabled = grabAt(b, look.ratio);
        saveShot(disabled, QStringLiteral("primary-disabled-%1").arg(look.name));
        EXPECT_TRUE(near(probe(disabled, 5, midY), over(DS::orange(), 0.4, window), 1));
    }
}

TEST(DesignButtons, OutlineDimsLabelAndOutlineTogetherWhenPressed)
{
    uiApp();
    for (const Look& look : looks()) {
        SCOPED_TRACE(look.name);
        DSOutlineButton b(QStringLiteral("Profiles"));
        b.setPalette(look.palette);
        b.resize(b.sizeHint());
        const QColor window = look.palette.color(QPalette::Window);
        const QColor text = look.palette.color(QPalette::WindowText);
        const QRectF label(14, 6, b.width() - 28, b.height() - 12);
        const QPointF edge(b.width() / 2.0, 0.5);  // top of the outline

        const QImage normal = grabAt(b, look.ratio);
        saveShot(normal, QStringLiteral("outline-normal-%1").arg(look.name));
        // The outline is the text colour at 10 %; the interior stays window coloured.
        EXPECT_TRUE(near(probe(normal, edge.x(), edge.y()), over(text, 0.1, window), 2));
        EXPECT_TRUE(near(probe(normal, 8, b.height() / 2.0), window, 0));
        // Dark label in light mode, light label in dark mode.
        const int labelContrast = maxContrast(normal, label, window);
        EXPECT_GT(labelContrast, 300);
        const int extreme = countPixels(normal, label, [&](const QColor& c) {
            return near(c, text, 40);
        });
        EXPECT_GT(extreme, 5);

        b.setDown(true);
        const QImage pressed = grabAt(b, look.ratio);
        saveShot(pressed, QStringLiteral("outline-pressed-%1").arg(look.name));
        EXPECT_TRUE(near(probe(pressed, edge.x(), edge.y()), over(text, 0.1 * 0.6, window), 2));
        EXPECT_NEAR(maxContrast(pressed, label, window), 0.6 * labelContrast, 6);

        b.setDown(false);
        b.setEnabled(false);
        const QImage disabled = grabAt(b, look.ratio);
        saveShot(disabled, QStringLiteral("outline-disabled-%1").arg(look.name));
        EXPECT_NEAR(maxContrast(disabled, label, window), 0.4 * labelContrast, 6);
    }
}

TEST(DesignButtons, OnlyTheCapsuleTakesClicksAndTheKeyboardReachesIt)
{
    uiApp();
    QWidget window;
    window.setPalette(lightPalette());
    auto* primary = new DSPrimaryButton(QStringLiteral("Go"), &window);
    auto* outline = new DSOutlineButton(QStringLiteral("Other"), &window);
    primary->resize(primary->sizeHint());
    outline->resize(outline->sizeHint());
    outline->move(0, 60);
    window.resize(300, 120);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    for (DSCapsuleButton* b : {static_cast<DSCapsuleButton*>(primary),
                               static_cast<DSCapsuleButton*>(outline)}) {
        QSignalSpy clicked(b, &QAbstractButton::clicked);
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(4, b->height() / 2));  // padding
        EXPECT_EQ(clicked.count(), 1);
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(b->width() / 2, 1));  // padding above text
        EXPECT_EQ(clicked.count(), 2);
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(1, 1));  // corner, outside the capsule
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(b->width() - 2, b->height() - 2));
        EXPECT_EQ(clicked.count(), 2);
    }

    // Tab reaches the buttons in order; Space presses the focused one.
    EXPECT_EQ(primary->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
    QSignalSpy outlineClicked(outline, &QAbstractButton::clicked);
    primary->setFocus(Qt::TabFocusReason);
    QTest::keyClick(primary, Qt::Key_Tab);
    ASSERT_TRUE(outline->hasFocus());
    QTest::keyClick(outline, Qt::Key_Space);
    EXPECT_EQ(outlineClicked.count(), 1);

    // Reached by keyboard: an orange ring; clicked into focus: none.
    const QImage ring = grabAt(*outline, 1);
    saveShot(ring, QStringLiteral("outline-focus-ring"));
    EXPECT_TRUE(near(probe(ring, outline->width() / 2.0, 1.5), DS::orange(), 40));
    outline->clearFocus();
    outline->setFocus(Qt::MouseFocusReason);
    EXPECT_FALSE(near(probe(grabAt(*outline, 1), outline->width() / 2.0, 1.5), DS::orange(), 40));
}
