// The import panel's drag under a real X server: an entry dragged with
// xdotool onto a grid slot is absorbed at that slot, also when a refresh of
// the list ends while the drag is under way. The drag runs its own event
// loop, so the pointer steps run from a timer, each when its condition holds.
// Run under xvfb-run; every wait is for a condition with a hang guard.
#include "SheetTestSupport.h"
#include "tests/app/ui/support/XdotoolSupport.h"

#include "app/ui/panel/ITerm2ImportPanel.h"
#include "app/ui/panel/ImportChip.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QTimer>

#include <deque>

namespace tilebay::testing {
namespace {

// Grid targets that hand dropped text to the store, as the grid's tiles do.
class DropSlot : public QWidget {
public:
    DropSlot(SessionStore& store, qsizetype index, QWidget* parent) : QWidget(parent), store_(store), index_(index)
    {
        setAcceptDrops(true);
        setMinimumSize(160, 120);
    }
    bool entered = false;

protected:
    void dragEnterEvent(QDragEnterEvent* e) override
    {
        if (!e->mimeData()->hasText()) return;
        entered = true;
        e->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* e) override { e->acceptProposedAction(); }
    void dropEvent(QDropEvent* e) override
    {
        if (store_.handleDrop(e->mimeData()->text(), index_)) e->acceptProposedAction();
    }

private:
    SessionStore& store_;
    qsizetype index_;
};

// Pointer steps run one after another from a timer, each once its
// condition holds and the previous xdotool has finished.
class PointerScript : public QObject {
public:
    struct Step {
        std::function<bool()> ready;
        std::function<QStringList()> args;  // xdotool arguments; empty: no command
        std::function<void()> action;
    };
    void add(Step step) { steps_.push_back(std::move(step)); }
    void start()
    {
        connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start(20);
    }
    bool done() const { return steps_.empty() && !busy(); }
    bool failed = false;

private:
    bool busy() const { return process_ && process_->state() != QProcess::NotRunning; }
    void poll()
    {
        if (busy() || steps_.empty()) return;
        if (process_ && (process_->exitStatus() != QProcess::NormalExit || process_->exitCode() != 0)) failed = true;
        Step& step = steps_.front();
        if (step.ready && !step.ready()) return;
        Step now = std::move(step);
        steps_.pop_front();
        if (now.action) now.action();
        if (now.args) {
            process_ = std::make_unique<QProcess>();
            process_->start(QStringLiteral("xdotool"), now.args());
        }
    }
    std::deque<Step> steps_;
    std::unique_ptr<QProcess> process_;
    QTimer timer_;
};

class ImportDragX11 : public SheetTest {
protected:
    void SetUp() override
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "needs X";
        osascript.setReply(listing({{"a", "Build", ""}, {"b", "", ""}}));
        SessionStore& store = makeStore();
        store.newEmbeddedSession(QString("one"), std::nullopt, std::nullopt);
        store.newEmbeddedSession(QString("two"), std::nullopt, std::nullopt);
        store.setShowImport(true);
        host = std::make_unique<QWidget>();
        host->setPalette(test::uiApp().palette());
        auto* row = new QHBoxLayout(host.get());
        panel = new ITerm2ImportPanel(store, host.get());
        row->addWidget(panel);
        for (qsizetype i = 0; i < 3; ++i) {
            targets.push_back(new DropSlot(store, i, host.get()));
            row->addWidget(targets.back());
        }
        host->setGeometry(40, 40, 800, 420);
        host->show();
        host->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(host.get(), 20000));
        ASSERT_TRUE(pumpUntil([&] { return !store.importLoading() && panel->chips().size() == 2; }));
    }

    // Presses on entry "a", drags it onto slot 0 (running `midway` while the
    // drag is under way) and lets go; true when the script ran to its end.
    bool dragFirstEntryToSlotZero(const std::function<void(PointerScript&)>& midway)
    {
        ImportChip* chip = panel->chips()[0];
        const QPoint c = chip->rect().center();
        PointerScript script;
        script.add({nullptr, [=] { return test::pointerTo(chip, c) << "mousedown" << "1"; }, nullptr});
        script.add({nullptr, [=] { return test::pointerTo(chip, c + QPoint(6, 2)); }, nullptr});
        script.add({nullptr, [=] { return test::pointerTo(chip, c + QPoint(30, 6)); }, nullptr});
        script.add({[this] { return panel->isDragging(); },
                    [this] { return test::pointerTo(targets[0], targets[0]->rect().center() + QPoint(-4, 0)); }, nullptr});
        script.add({nullptr, [this] { return test::pointerTo(targets[0], targets[0]->rect().center()); }, nullptr});
        midway(script);
        script.add({[this] { return targets[0]->entered; }, [] { return QStringList{"mouseup", "1"}; }, nullptr});
        script.start();
        const bool finished = pumpUntil([&] { return script.done() && !panel->isDragging(); });
        return finished && !script.failed;
    }

    FakeOsascript osascript;
    std::unique_ptr<QWidget> host;
    ITerm2ImportPanel* panel = nullptr;
    std::vector<DropSlot*> targets;
};

TEST_F(ImportDragX11, DraggedEntryIsAbsorbedAtTheSlotItFellOn)
{
    ASSERT_TRUE(dragFirstEntryToSlotZero([](PointerScript&) {}));
    ASSERT_TRUE(pumpUntil([&] { return store_->cells().size() == 3; }));
    EXPECT_EQ(store_->cells()[0]->externalRef(), "a");
    EXPECT_EQ(store_->cells()[0]->projectLabel(), "Build");
    ASSERT_TRUE(pumpUntil([&] { return panel->chips().size() == 1; }));
    EXPECT_EQ(panel->chips()[0]->session().guid, "b");
}

TEST_F(ImportDragX11, RefreshEndingMidDragNeitherCrashesNorDropsIt)
{
    int loadingSeen = 0;
    QPointer<ImportChip> dragged = panel->chips()[0];
    bool sameEntryAfterRefresh = false;
    QObject::connect(store_.get(), &SessionStore::importLoadingChanged, host.get(),
                     [&](bool loading) { loadingSeen += loading ? 1 : 0; });
    ASSERT_TRUE(dragFirstEntryToSlotZero([&](PointerScript& script) {
        script.add({nullptr, nullptr, [&] {
                        store_->refreshImportList();
                    }});
        // The refresh has ended and its list arrived while the pointer is still down.
        script.add({[&] { return loadingSeen == 1 && !store_->importLoading(); },
                    [this] { return test::pointerTo(targets[0], targets[0]->rect().center() + QPoint(3, 3)); }, [&] {
                        // The drag's entry is kept while the drag lasts.
                        sameEntryAfterRefresh = dragged && panel->chips().size() == 2 && panel->chips()[0] == dragged;
                    }});
    }));
    EXPECT_EQ(loadingSeen, 1);
    EXPECT_TRUE(sameEntryAfterRefresh);
    ASSERT_TRUE(pumpUntil([&] { return store_->cells().size() == 3; }));
    EXPECT_EQ(store_->cells()[0]->externalRef(), "a");
    ASSERT_TRUE(pumpUntil([&] { return panel->chips().size() == 1; }));
    EXPECT_EQ(panel->chips()[0]->session().guid, "b");
}

}  // namespace
}  // namespace tilebay::testing
