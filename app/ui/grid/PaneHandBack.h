// Handing live panes back before a container that shows them goes away. The
// embedded adapter owns its pane views; a tile (or any other place) only shows
// them inside a layout widget that the adapter made for it. Before such a
// widget is deleted, every terminal view in it is taken out (its parent set to
// none, which also hides it), so deleting the container never deletes a pane.
// Main thread.
#pragma once

class QWidget;

namespace tilebay {

// Takes every terminal view out of `container` (not descending into the
// terminal views themselves) and returns how many it took.
int handBackPanes(QWidget* container);

}  // namespace tilebay
