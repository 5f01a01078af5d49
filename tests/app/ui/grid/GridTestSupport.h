// The grid tests' fixture: the store fixture with the pane adapter
// (PaneAdapter.h) and a grid view sized so that its free grid area is
// exactly a given size.
#pragma once

#include "app/ui/grid/BroadcastBar.h"
#include "app/ui/grid/GridView.h"
#include "tests/app/store/StoreTestSupport.h"
#include "tests/app/ui/grid/PaneAdapter.h"
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

using test::ResizeCounter;

class GridTest : private test::UiAppFirst, public StoreTest {
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
        panes_ = fake.get();
        return makeStore(std::move(fake));
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
