// The live content of an embedded cell: its pane views side by side
// (horizontal) or stacked (vertical), each in a container of its own, with
// 2-pixel black lines between them; the panes share the space equally.
//
// Each pane view is shown through an EmbeddedTermHost, which takes the view
// into its container when the layout's hosts are updated: when the layout is
// made, each time it is shown, and when its owner calls updateHosts() (as
// the grid does when an expanded card closes and the tile is to show the
// panes again). Whichever layout updated last shows the views; the others'
// containers stand empty. The views are never recreated by this.
//
// GUI thread only. The layout owns its containers; it never owns the views.
#pragma once

#include "app/adapters/embedded/EmbeddedPaneView.h"
#include "app/adapters/embedded/EmbeddedTermHost.h"
#include "app/adapters/embedded/TermContainerView.h"

#include <QWidget>

#include <vector>

namespace tilebay {

class SplitTermLayout final : public QWidget {
    Q_OBJECT
public:
    using Axis = EmbeddedPaneKit::Axis;
    static constexpr int spacing = 2;

    SplitTermLayout(const std::vector<QWidget*>& views, Axis axis, QWidget* parent = nullptr);
    ~SplitTermLayout() override;

    Axis axis() const { return axis_; }
    // The containers, one per view, in order.
    const std::vector<TermContainerView*>& containers() const { return containers_; }
    // Takes every view into its container here.
    void updateHosts();

protected:
    void showEvent(QShowEvent* event) override;

private:
    Axis axis_;
    std::vector<EmbeddedTermHost> hosts_;
    std::vector<TermContainerView*> containers_;
};

}  // namespace tilebay
