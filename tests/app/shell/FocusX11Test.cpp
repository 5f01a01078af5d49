// Where typing goes in the real application under a real X server
// (xvfb-run), typed with xdotool into login shells: after start with restored
// cells, after a rename committed or cancelled, during and after a live
// window resize, after the focused cell's shell ends, and in the expanded
// card after its search closes and after an unfocused pane ends. Each time
// the text reaches a terminal, and no control takes it (a space on the
// focused "새 터미널" would open the sheet, and Return would add a cell).
// Every wait is for a condition; the bounds only guard against a hang.
#include "app/adapters/embedded/EmbeddedAdapter.h"
#include "app/shell/MainWindow.h"
#include "app/shell/TilebayApp.h"
#include "app/ui/LabelEditor.h"
#include "app/ui/design/ElidedLabel.h"
#include "app/ui/expanded/ExpandedCard.h"
#include "app/ui/expanded/ExpandedView.h"
#include "app/ui/grid/GridCellView.h"
#include "app/ui/grid/GridView.h"
#include "corvel/qt/TerminalView.h"
#include "tests/app/ui/support/X11AppFixture.h"
#include "tests/app/ui/support/XdotoolSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>

using namespace tilebay;
using namespace tilebay::test;

namespace {

class FocusX11 : public X11AppFixture {
protected:
    ~FocusX11() override { app_.reset(); }

    // The application, started over the saved layout `json`.
    TilebayApp& startApp(const std::string& json = "{}")
    {
        writeLayout(json);
        app_ = std::make_unique<TilebayApp>(*qApp, TilebayApp::standardDependencies());
        MainWindow& window = app_->window();
        window.expandedView()->setDuration(0);
        // As TilebayApp::start, without the global hot key, which a later
        // test of this process expects to be free.
        window.show();
        window.raise();
        window.activateWindow();
        EXPECT_TRUE(waitFor([&] { return QApplication::activeWindow() == &app_->window(); }));
        return *app_;
    }
    SessionStore& store() { return app_->store(); }
    GridView& grid() { return *app_->window().gridView(); }
    EmbeddedAdapter& adapter() { return static_cast<EmbeddedAdapter&>(store().embedded()); }
    QString screen(const QString& id) { return store().embedded().visibleText(id); }
    // The shell's prompt shows ("$" or "#" ending a line, perhaps with its blank).
    bool prompted(const QString& id)
    {
        return waitFor([&] { return screen(id).contains(QRegularExpression(QStringLiteral("(?m)[$#] ?$"))); });
    }
    QString shell(const char* label)
    {
        const QString id = store().newEmbeddedSession(QString::fromUtf8(label), std::nullopt, std::nullopt)->id();
        EXPECT_TRUE(prompted(id)) << label << ": " << screen(id).toStdString();
        return id;
    }
    static bool click(QWidget* w, int times = 1)
    {
        return xdotool(pointerTo(w, w->rect().center()) << QStringLiteral("click") << QStringLiteral("--repeat")
                                                        << QString::number(times) << QStringLiteral("1"));
    }
    // Types "echo <word>" and Return; true once the word shows as a line of
    // output in cell `id`'s first pane.
    bool typedInto(const QString& id, const QString& word)
    {
        return xdotool({QStringLiteral("type"), QStringLiteral("echo ") + word}) && key(QStringLiteral("Return")) &&
               waitFor([&] {
                   return screen(id).contains(QRegularExpression(QStringLiteral("(?m)^") + word + QStringLiteral("$")));
               });
    }
    // No sheet was opened and no cell was added.
    void expectNoNewCell(size_t cells)
    {
        EXPECT_EQ(store().cells().size(), cells);
        EXPECT_FALSE(store().showNewTerminalPrompt());
    }

    std::unique_ptr<TilebayApp> app_;
};

}  // namespace

TEST_F(FocusX11, TypingAfterStartGoesToTheFirstRestoredCell)
{
    startApp(R"({"cells": [
        {"internalId": "firstcell00001", "adapterKind": "embedded", "projectLabel": "one"},
        {"internalId": "secondcell0002", "adapterKind": "embedded", "projectLabel": "two"}]})");
    ASSERT_TRUE(prompted(QStringLiteral("firstcell00001")));
    ASSERT_TRUE(prompted(QStringLiteral("secondcell0002")));
    EXPECT_TRUE(typedInto(QStringLiteral("firstcell00001"), QStringLiteral("atStart")));
    expectNoNewCell(2);
}

TEST_F(FocusX11, TypingAfterARenameGoesToTheTerminalThatHadTheFocus)
{
    startApp();
    const QString a = shell("a");
    const QString b = shell("b");
    ASSERT_TRUE(click(grid().tile(a)->content()));
    ASSERT_TRUE(waitFor([&] { return adapter().primary(a)->terminalView().hasFocus(); }));

    // Renamed with Return, then a rename given up with Escape.
    const std::pair<const char*, const char*> leaves[] = {{"Return", "afterRename"}, {"Escape", "afterCancel"}};
    for (const auto& [leave, word] : leaves) {
        GridCellView* tile = grid().tile(b);
        ASSERT_TRUE(click(tile->label(), 2));
        ASSERT_TRUE(waitFor([&] { return tile->editor() && tile->editor()->hasFocus(); }));
        ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("x")}));
        ASSERT_TRUE(key(QString::fromLatin1(leave)));
        ASSERT_TRUE(waitFor([&] { return !tile->editor(); }));
        EXPECT_TRUE(typedInto(a, QString::fromLatin1(word))) << leave;
    }
    EXPECT_EQ(store().cell(b)->projectLabel(), QStringLiteral("bx"));
    expectNoNewCell(2);
}

TEST_F(FocusX11, TypingDuringAndAfterALiveResizeGoesToTheTerminal)
{
    startApp();
    const QString a = shell("a");
    shell("b");
    ASSERT_TRUE(click(grid().tile(a)->content()));
    ASSERT_TRUE(waitFor([&] { return adapter().primary(a)->terminalView().hasFocus(); }));

    // A drag of the window's edge, long enough to type during it.
    QStringList drag;
    const QString window = QString::number(app_->window().winId());
    const QSize size = app_->window().size();
    for (int step = 1; step <= 60; ++step)
        drag << QStringLiteral("windowsize") << window << QString::number(size.width() - 4 * (step % 10))
             << QString::number(size.height() - 2 * (step % 10)) << QStringLiteral("sleep") << QStringLiteral("0.05");
    QProcess resizing;
    resizing.start(QStringLiteral("xdotool"), drag);
    ASSERT_TRUE(waitFor([&] { return store().isLiveResizing(); }));
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("echo duringResize")}));
    ASSERT_TRUE(key(QStringLiteral("Return")));
    EXPECT_TRUE(store().isLiveResizing()) << "the drag ended before the typing";
    ASSERT_TRUE(waitFor([&] { return resizing.state() == QProcess::NotRunning && !store().isLiveResizing(); }));
    EXPECT_TRUE(waitFor([&] { return screen(a).contains(QRegularExpression(QStringLiteral("(?m)^duringResize$"))); }))
        << screen(a).toStdString();
    EXPECT_TRUE(typedInto(a, QStringLiteral("afterResize")));
    expectNoNewCell(2);
}

TEST_F(FocusX11, TypingAfterTheFocusedCellEndsGoesToTheNearestCell)
{
    startApp();
    const QString a = shell("a");
    const QString b = shell("b");
    ASSERT_TRUE(click(grid().tile(b)->content()));
    ASSERT_TRUE(waitFor([&] { return adapter().primary(b)->terminalView().hasFocus(); }));
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("exit")}));
    ASSERT_TRUE(key(QStringLiteral("Return")));
    ASSERT_TRUE(waitFor([&] { return !store().cell(b); }));
    EXPECT_TRUE(typedInto(a, QStringLiteral("afterEnd")));
    expectNoNewCell(1);
}

TEST_F(FocusX11, TypingInTheExpandedCardAfterItsSearchClosesAndAfterAPaneEnds)
{
    startApp();
    shell("a");
    const QString b = shell("b");
    store().embedded().splitSession(b);
    ASSERT_TRUE(waitFor([&] { return adapter().paneViews(b).size() == 2; }));
    store().toggleExpand(b);
    ExpandedView& overlay = *app_->window().expandedView();
    ASSERT_TRUE(waitFor([&] { return overlay.phase() == ExpandedView::Phase::open; }));
    ExpandedCard* card = overlay.card();
    corvel::TerminalView& first = adapter().primary(b)->terminalView();
    ASSERT_TRUE(waitFor([&] { return first.hasFocus(); }));

    ASSERT_TRUE(key(QStringLiteral("ctrl+shift+f")));
    ASSERT_TRUE(waitFor([&] { return card->searchOpen() && card->searchField()->hasFocus(); }));
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("zz")}));
    ASSERT_TRUE(key(QStringLiteral("Escape")));
    ASSERT_TRUE(waitFor([&] { return !card->searchOpen(); }));
    EXPECT_TRUE(typedInto(b, QStringLiteral("afterSearch")));

    // The second pane's shell ends: the first keeps the focus in the open card.
    adapter().paneViews(b)[1]->send("exit\r");
    ASSERT_TRUE(waitFor([&] { return adapter().paneViews(b).size() == 1; }));
    EXPECT_TRUE(typedInto(b, QStringLiteral("afterPaneEnd")));
    EXPECT_EQ(store().expandedID(), b);
    EXPECT_EQ(overlay.phase(), ExpandedView::Phase::open);
    expectNoNewCell(2);
}
