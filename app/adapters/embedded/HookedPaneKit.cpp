// HookedPaneKit: real pane views and their split layout.
#include "app/adapters/embedded/HookedPaneKit.h"

#include "app/adapters/embedded/HookedTerminalView.h"
#include "app/adapters/embedded/SplitTermLayout.h"

namespace tilebay {

std::unique_ptr<EmbeddedPaneView> HookedPaneKit::makePane(int width, int height)
{
    return std::make_unique<HookedTerminalView>(QRect(0, 0, width, height));
}

QWidget* HookedPaneKit::makeLayout(const std::vector<EmbeddedPaneView*>& panes, Axis axis)
{
    std::vector<QWidget*> views;
    views.reserve(panes.size());
    for (EmbeddedPaneView* pane : panes) views.push_back(&pane->terminalView());
    return new SplitTermLayout(views, axis);
}

}  // namespace tilebay
