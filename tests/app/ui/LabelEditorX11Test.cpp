// The label editor and the toolbar's zoom slider under a real X server, typed
// at and dragged with xdotool (run under xvfb-run). Every wait is for a
// condition; the bounds only guard against a hang.
#include "app/ui/LabelEditor.h"
#include "app/ui/design/DSPalette.h"
#include "app/ui/toolbar/ToolbarView.h"
#include "tests/app/ui/support/FakeToolbarStore.h"
#include "tests/app/ui/support/UiTestSupport.h"
#include "tests/app/ui/support/XdotoolSupport.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <QShortcut>
#include <QSlider>
#include <QTest>

#include <algorithm>

using namespace tilebay;
using namespace tilebay::test;

namespace {

class Host : public QWidget {
public:
    int keysSeen = 0;
    int escapeShortcut = 0;

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        ++keysSeen;
        QWidget::keyPressEvent(e);
    }
};

}  // namespace

TEST(LabelEditorX11, TypingReturnEscapeAndClicksFromTheXServer)
{
    uiApp();
    if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "needs X";
    Host host;
    host.setPalette(lightPalette());
    host.setGeometry(40, 40, 360, 120);
    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), &host);
    QObject::connect(esc, &QShortcut::activated, [&] { ++host.escapeShortcut; });
    auto* other = new QLineEdit(&host);
    other->setGeometry(10, 70, 200, 26);
    int commits = 0, cancels = 0;
    auto* editor = new LabelEditor(QString(), [&] { ++commits; }, [&] { ++cancels; }, &host);
    editor->setGeometry(10, 10, 240, 26);
    host.show();
    host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host, 20000));
    ASSERT_TRUE(waitFor([&] { return editor->hasFocus(); }));

    // Typed without a click.
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("abc")}));
    ASSERT_TRUE(waitFor([&] { return editor->text() == QLatin1String("abc"); }));

    // Return commits once. A marker key typed after it shows that every earlier
    // key has been handled.
    ASSERT_TRUE(key(QStringLiteral("Return")));
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("d")}));
    ASSERT_TRUE(waitFor([&] { return editor->text() == QLatin1String("abcd"); }));
    EXPECT_EQ(commits, 1);
    EXPECT_EQ(cancels, 0);

    ASSERT_TRUE(key(QStringLiteral("Escape")));
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("e")}));
    ASSERT_TRUE(waitFor([&] { return editor->text() == QLatin1String("abcde"); }));
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(commits, 1);
    EXPECT_EQ(host.escapeShortcut, 0);
    EXPECT_EQ(host.keysSeen, 0);

    // A click elsewhere moves the focus and does nothing else.
    ASSERT_TRUE(xdotool(pointerTo(other, QPoint(20, 13)) << QStringLiteral("click") << QStringLiteral("1")));
    ASSERT_TRUE(waitFor([&] { return other->hasFocus(); }));
    EXPECT_EQ(commits, 1);
    EXPECT_EQ(cancels, 1);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->text(), QStringLiteral("abcde"));
}

TEST(ToolbarX11, DraggingTheZoomSliderKeepsZoomInRange)
{
    uiApp();
    if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "needs X";
    FakeToolbarStore store;
    ToolbarView bar(store);
    bar.setPalette(lightPalette());
    bar.setGeometry(20, 200, 1200, ToolbarView::kHeight);
    bar.show();
    bar.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar, 20000));
    QSlider* slider = bar.zoomSlider();
    ASSERT_EQ(slider->width(), 110);

    // Grab the handle where the value puts it and drag far past each end.
    const int midY = slider->height() / 2;
    for (int far : {+600, -600}) {
        SCOPED_TRACE(far);
        const size_t before = store.zoomWrites.size();
        const int here = (slider->value() - slider->minimum()) * slider->width() /
                         (slider->maximum() - slider->minimum());
        QStringList args = pointerTo(slider, QPoint(std::clamp(here, 4, slider->width() - 4), midY));
        args << QStringLiteral("mousedown") << QStringLiteral("1");
        args << pointerTo(slider, QPoint(here + far / 3, midY));
        args << pointerTo(slider, QPoint(here + far, midY));
        args << QStringLiteral("mouseup") << QStringLiteral("1");
        ASSERT_TRUE(xdotool(args));
        ASSERT_TRUE(waitFor([&] {
            return !slider->isSliderDown() && store.zoomWrites.size() > before &&
                   store.zoomValue == (far > 0 ? 3.0 : 0.5);
        }));
        for (size_t i = before; i < store.zoomWrites.size(); ++i) {
            EXPECT_GE(store.zoomWrites[i], 0.5);
            EXPECT_LE(store.zoomWrites[i], 3.0);
        }
    }
}
