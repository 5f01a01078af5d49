// An embedded adapter for the grid's tests and benchmarks whose cells have
// real terminal views as panes (no processes), laid out side by side or
// stacked in a fresh widget on every cellContentView, and focused through
// the first one, as the real adapter does. The adapter keeps the panes' ownership, so a pane that a tile wrongly
// deleted shows up as a null QPointer (or a double delete).
#pragma once

#include "tests/app/store/FakeEmbeddedAdapter.h"

#include "corvel/qt/TerminalView.h"

#include <QBoxLayout>
#include <QWidget>

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
        auto* layout = new QBoxLayout(vertical ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight, box);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(2);
        for (auto& pane : panes[id]) {
            layout->addWidget(pane.get());
            pane->show();  // a pane handed back hidden shows again in its new place
        }
        return box;
    }

    // As the real adapter: the first pane, once in a shown window, takes the focus.
    void focus(const QString& id) override
    {
        FakeEmbeddedAdapter::focus(id);
        sync(id);
        corvel::TerminalView* first = panes[id].front().get();
        if (first->window()->isVisible()) first->setFocus(Qt::OtherFocusReason);
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

}  // namespace tilebay::testing
