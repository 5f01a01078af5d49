// Shows one existing terminal widget in a container: makes the container and,
// on every update, takes the widget into it from wherever it was shown. A
// value; it refers to the widget weakly, so a pane that was destroyed
// meanwhile is simply not shown. GUI thread only.
#pragma once

#include <QPointer>
#include <QWidget>

namespace tilebay {

class TermContainerView;

struct EmbeddedTermHost {
    QPointer<QWidget> termView;

    // A new, empty container (the caller owns it).
    TermContainerView* makeContainer(QWidget* parent) const;
    // Moves the widget into `container` unless it is there already.
    void update(TermContainerView& container) const;
};

}  // namespace tilebay
