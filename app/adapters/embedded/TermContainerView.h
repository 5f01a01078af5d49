// A place where a pane's terminal widget is shown: the widget fills the
// container while it is the container's child. The terminal widget belongs
// to its pane (owned by the embedded adapter alone), not to the container,
// and moves between containers (grid tile, expanded card, a rebuild after a
// split) while its child process, emulator and scrollback run on. Being its
// Qt parent only places it here: Qt deletes a widget's children with it, so
// the container hands its terminal widget back (takes it out, hidden and
// without a parent) before it is destroyed, and a widget destroyed by its
// owner meanwhile is simply no longer hosted (QPointer).
//
// Invariant: the container has at most one terminal widget among its
// children, `hosted()` when that widget is still its child.
// GUI thread only.
#pragma once

#include <QPointer>
#include <QWidget>

namespace tilebay {

class TermContainerView final : public QWidget {
    Q_OBJECT
public:
    explicit TermContainerView(QWidget* parent = nullptr);
    ~TermContainerView() override;

    // Takes `termView` from wherever it is shown (another container) and
    // lets it fill this one; nothing happens when it is here already.
    void host(QWidget* termView);
    // The terminal widget shown here, or null (none given, or taken by
    // another container since).
    QWidget* hosted() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QPointer<QWidget> termView_;
};

}  // namespace tilebay
