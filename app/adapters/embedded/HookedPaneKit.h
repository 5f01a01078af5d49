// The embedded adapter's pane kit for the application: panes are
// HookedTerminalViews, a cell's content is a SplitTermLayout of them.
// GUI thread only.
#pragma once

#include "app/adapters/embedded/EmbeddedPaneView.h"

namespace tilebay {

class HookedPaneKit final : public EmbeddedPaneKit {
public:
    std::unique_ptr<EmbeddedPaneView> makePane(int width, int height) override;
    QWidget* makeLayout(const std::vector<EmbeddedPaneView*>& panes, Axis axis) override;
};

}  // namespace tilebay
