// Pane views for the embedded adapter built on the library's local-process
// terminal view: each pane runs its child on a pseudo-terminal, feeds the
// output to its view and passes window-size changes to the child; a cell's
// panes are laid out side by side or stacked in a container that hands its
// pane widgets back (detaches them) before it is destroyed, so a pane's
// process and scrollback outlive whichever tile or card showed them.
//
// Threads: the GUI thread only. Ownership: the adapter owns the panes; the
// caller of makeLayout owns the container, never the panes in it.
#pragma once

#include "app/adapters/embedded/EmbeddedPaneView.h"

namespace tilebay {

class LocalPaneKit final : public EmbeddedPaneKit {
public:
    std::unique_ptr<EmbeddedPaneView> makePane(int width, int height) override;
    QWidget* makeLayout(const std::vector<EmbeddedPaneView*>& panes, Axis axis) override;
};

}  // namespace tilebay
