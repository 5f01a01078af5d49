// The inline label editor driven by offscreen key events: focus on show,
// Return and Escape consumed (no parent or shortcut sees them), focus loss
// silent, removal by its owner on commit. The same under a real X server is
// in LabelEditorX11Test.
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

// Stands in for the tile header's window: counts the keys that reach it and
// has window-wide shortcuts on Return and Escape.
class Host : public QWidget {
public:
    Host()
    {
        setPalette(lightPalette());
        resize(320, 80);
        other = new QLineEdit(this);
        other->move(10, 44);
        for (auto [key, count] : {std::pair{Qt::Key_Escape, &escapeShortcut},
                                  std::pair{Qt::Key_Return, &returnShortcut}})
            QObject::connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated,
                             [count = count] { ++*count; });
    }

    // Shows the window with the editor and waits (bounded) for the editor's focus.
    bool showWith(LabelEditor* editor)
    {
        editor->setGeometry(10, 10, 200, 24);
        show();
        activateWindow();
        if (!QTest::qWaitForWindowActive(this)) return false;
        QDeadlineTimer deadline(5000);
        while (!editor->hasFocus() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return editor->hasFocus();
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

}  // namespace

TEST(LabelEditor, ReturnCommitsEscapeCancelsUnseenByTheParentAndFocusLossIsSilent)
{
    uiApp();
    Host host;
    int commits = 0, cancels = 0;
    auto* editor = new LabelEditor(QStringLiteral("api"), [&] { ++commits; }, [&] { ++cancels; },
                                   &host);
    ASSERT_TRUE(host.showWith(editor));  // no click needed

    QSignalSpy changed(editor, &QLineEdit::textChanged);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("abc"));
    EXPECT_EQ(editor->text(), QStringLiteral("abc"));
    EXPECT_EQ(changed.count(), 3);  // the owner sees every keystroke

    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(commits, 1);
    editor->clear();
    QTest::keyClick(editor, Qt::Key_Enter);  // an empty field still commits
    EXPECT_EQ(commits, 2);
    EXPECT_EQ(cancels, 0);

    QTest::keyClicks(editor, QStringLiteral("draft"));
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(commits, 2);
    EXPECT_EQ(editor->text(), QStringLiteral("draft"));  // discarding is the owner's business

    EXPECT_EQ(host.keysSeen, 0);
    EXPECT_EQ(host.escapeShortcut, 0);
    EXPECT_EQ(host.returnShortcut, 0);
    // The same key in another field reaches the window's shortcut, so the
    // silence above is the editor's doing; the editor losing the focus
    // neither commits nor cancels.
    QTest::mouseClick(host.other, Qt::LeftButton);
    host.other->setFocus(Qt::MouseFocusReason);
    ASSERT_FALSE(editor->hasFocus());
    QTest::keyClick(host.other, Qt::Key_Escape);
    EXPECT_EQ(host.escapeShortcut, 1);
    EXPECT_EQ(commits + cancels, 3);
    EXPECT_TRUE(editor->isVisible());

    // An owner that removes the editor on commit may do so.
    QPointer<LabelEditor> removing;
    removing = new LabelEditor(QString(), [&] { removing->deleteLater(); }, {}, &host);
    removing->show();
    removing->setFocus();
    QTest::keyClick(removing, Qt::Key_Return);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(removing.isNull());
}
