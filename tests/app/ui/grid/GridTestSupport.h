// The grid tests' fixture: the store fixture with an embedded adapter whose
// cells have real terminal views as panes (no processes), laid out side by
// side in a fresh widget on every cellContentView, as the real adapter does.
// The test keeps the panes' ownership in the adapter, so a pane deleted by a
// tile shows up as a null QPointer. Also: a grid view sized so that its free
// grid area is exactly a given size, and a resize counter for widgets.
#pragma once

#include "app/ui/grid/BroadcastBar.h"
#include "app/ui/grid/GridView.h"
#include "tests/app/store/StoreTestSupport.h"
#include "tests/app/ui/support/UiTestSupport.h"

#include "app/ui/design/DSPalette.h"
#include "app/ui/toolbar/ToolbarView.h"
#include "corvel/qt/TerminalView.h"

#include <QHBoxLayout>
#include <QPointer>
#include <QScrollArea>
#include <QStyleFactory>
#include <QVBoxLayout>

#include <map>
#include <memory>
#include <vector>

namespace tilebay::testing {

class PaneAdapter final : public FakeEmbeddedAdapter {
public:
    std::map<QString, std::vector<std::unique_ptr<corvel::TerminalView>>> panes;
    bool vertical = false;
    int layoutsMade = 0;

    std::vector<corvel::TerminalView*> paneViews(const QString& id)
    {
        std::vector<corvel::TerminalView*> out;
        for (auto& pane : panes[id]) out.push_back(pane.get());
        return out;
    }

    QWidget* cellContentView(const QString& id) override
    {
        sync(id);
        if (panes[id].empty()) return nullptr;
        ++layoutsMade;
        auto* box = new QWidget;
        QBoxLayout* layout = vertical ? static_cast<QBoxLayout*>(new QVBoxLayout(box))
                                      : static_cast<QBoxLayout*>(new QHBoxLayout(box));
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(2);
        for (auto& pane : panes[id]) layout->addWidget(pane.get());
        return box;
    }

private:
    // One terminal view per pane the fake counts.
    void sync(const QString& id)
    {
        auto& list = panes[id];
        const auto want = static_cast<size_t>(paneCount(id));
        while (list.size() < want) list.push_back(std::make_unique<corvel::TerminalView>(QRect(0, 0, 300, 200)));
        while (list.size() > want) list.pop_back();
    }
};

// Counts a widget's resize events.
class ResizeCounter : public QObject {
public:
    explicit ResizeCounter(QWidget* w) { w->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Resize) ++count;
        return QObject::eventFilter(o, e);
    }
};

class GridTest : public StoreTest {
protected:
    GridTest()
    {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setFont(QFont(QStringLiteral("DejaVu Sans")));
        QApplication::setPalette(lightPalette());
    }
    ~GridTest() override
    {
        view_.reset();
        store_.reset();
    }

    SessionStore& makePaneStore()
    {
        auto fake = std::make_unique<PaneAdapter>();
        fake->clock = [this] { return clock_; };
        panes_ = fake.get();
        embedded_ = fake.get();
        SessionStore::Dependencies deps;
        deps.embedded = std::move(fake);
        deps.classifier = std::make_unique<StatusClassifier>(StatusClassifier::Patterns::defaults());
        deps.clock = [this] { return clock_; };
        deps.findTmux = [] { return false; };
        deps.runTimer = false;
        store_ = std::make_unique<SessionStore>(std::move(deps));
        return *store_;
    }

    QString addCell(const QString& label)
    {
        return store_->newEmbeddedSession(label, std::nullopt, std::nullopt)->id();
    }

    // A shown grid view whose free grid area is `area`.
    GridView& showGrid(QSize area)
    {
        view_ = std::make_unique<GridView>(*store_);
        const int chrome = view_->toolbar()->sizeHint().height() + 1 +
                           (store_->broadcastMode() ? view_->broadcastBar()->sizeHint().height() + 1 : 0);
        view_->resize(area.width(), area.height() + chrome);
        view_->show();
        QCoreApplication::processEvents();
        view_->relayout();
        return *view_;
    }

    PaneAdapter* panes_ = nullptr;  // owned by the store
    std::unique_ptr<GridView> view_;
};

}  // namespace tilebay::testing
