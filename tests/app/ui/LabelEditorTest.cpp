// The inline label editor driven by offscreen key events: focus on show,
// Return and Escape consumed (no parent or shortcut sees them), focus loss
// silent.
#include "app/ui/LabelEditor.h"
#include "app/ui/design/DSPalette.h"
#include "tests/app/ui/support/UiTestSupport.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>

using namespace tilebay;
using namespace tilebay::test;

namespace {

// A window standing in for the tile header: it counts the keys that reach it
// and has window-wide shortcuts on Return and Escape.
class Host : public QWidget {
public:
    Host()
    {
        setPalette(lightPalette());
        resize(320, 80);
        other = new QLineEdit(this);
        other->move(10, 44);
        auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
        esc->setContext(Qt::WindowShortcut);
        QObject::connect(esc, &QShortcut::activated, [this] { ++escapeShortcut; });
        auto* ret = new QShortcut(QKeySequence(Qt::Key_Return), this);
        ret->setContext(Qt::WindowShortcut);
        QObject::connect(ret, &QShortcut::activated, [this] { ++returnShortcut; });
    }

    int keysSeen = 0;
    int escapeShortcut = 0;
    int returnShortcut = 0;
    QLineEdit* other = nullptr;

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        ++keysSeen;
        QWidget::keyPressEvent(e);
    }
};

struct Counts {
    int commits = 0;
    int cancels = 0;
};

// Runs the event loop until `done` holds; the bound only guards against a hang.
template <typename F>
bool waitFor(F done)
{
    QDeadlineTimer deadline(5000);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

}  // namespace

TEST(LabelEditor, FocusedOnShowAndEveryKeystrokeReachesTheOwner)
{
    uiApp();
    Host host;
    Counts n;
    auto* editor = new LabelEditor(QStringLiteral("api"), [&] { ++n.commits; }, [&] { ++n.cancels; },
                                   &host);
    editor->setGeometry(10, 10, 200, 24);
    EXPECT_EQ(editor->placeholderText(), QStringLiteral("프로젝트명"));
    EXPECT_EQ(editor->font().pixelSize(), 13);
    EXPECT_EQ(editor->font().weight(), QFont::DemiBold);
    EXPECT_FALSE(editor->hasFrame());

    host.show();
    host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    ASSERT_TRUE(waitFor([&] { return editor->hasFocus(); }));

    QSignalSpy changed(editor, &QLineEdit::textChanged);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("abc"));
    EXPECT_EQ(editor->text(), QStringLiteral("abc"));
    EXPECT_EQ(changed.count(), 3);  // one change per key
    EXPECT_EQ(n.commits + n.cancels, 0);

    for (QWidget* ratioTarget : {static_cast<QWidget*>(editor)})
        for (qreal ratio : {1.0, 2.0})
            saveShot(grabAt(*ratioTarget, ratio), QStringLiteral("editor-light-%1x").arg(ratio));
    editor->clear();
    host.setPalette(darkPalette());
    for (qreal ratio : {1.0, 2.0})
        saveShot(grabAt(*editor, ratio), QStringLiteral("editor-placeholder-dark-%1x").arg(ratio));
}

TEST(LabelEditor, ReturnCommitsOnceAndEscapeCancelsUnseenByTheParent)
{
    uiApp();
    Host host;
    Counts n;
    auto* editor = new LabelEditor(QString(), [&] { ++n.commits; }, [&] { ++n.cancels; }, &host);
    editor->setGeometry(10, 10, 200, 24);
    host.show();
    host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    ASSERT_TRUE(waitFor([&] { return editor->hasFocus(); }));

    // An empty field still commits.
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(n.commits, 1);
    QTest::keyClick(editor, Qt::Key_Enter);
    EXPECT_EQ(n.commits, 2);
    EXPECT_EQ(n.cancels, 0);

    QTest::keyClicks(editor, QStringLiteral("draft"));
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_EQ(n.cancels, 1);
    EXPECT_EQ(n.commits, 2);
    EXPECT_EQ(editor->text(), QStringLiteral("draft"));  // discarding is the owner's business

    EXPECT_EQ(host.keysSeen, 0);
    EXPECT_EQ(host.escapeShortcut, 0);
    EXPECT_EQ(host.returnShortcut, 0);

    // The same keys in another field do reach the window's shortcuts, so the
    // silence above is the editor's doing.
    host.other->setFocus();
    QTest::keyClick(host.other, Qt::Key_Escape);
    EXPECT_EQ(host.escapeShortcut, 1);
}

TEST(LabelEditor, LosingFocusNeitherCommitsNorCancels)
{
    uiApp();
    Host host;
    Counts n;
    auto* editor = new LabelEditor(QStringLiteral("x"), [&] { ++n.commits; }, [&] { ++n.cancels; },
                                   &host);
    editor->setGeometry(10, 10, 200, 24);
    host.show();
    host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    ASSERT_TRUE(waitFor([&] { return editor->hasFocus(); }));
    QTest::mouseClick(host.other, Qt::LeftButton);
    host.other->setFocus(Qt::MouseFocusReason);
    ASSERT_FALSE(editor->hasFocus());
    EXPECT_EQ(n.commits + n.cancels, 0);
    EXPECT_TRUE(editor->isVisible());

    // An owner may remove the editor from its commit action.
    QPointer<LabelEditor> removing;
    removing = new LabelEditor(QString(), [&] { removing->deleteLater(); }, {}, &host);
    removing->show();
    removing->setFocus();
    QTest::keyClick(removing, Qt::Key_Return);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(removing.isNull());
}
