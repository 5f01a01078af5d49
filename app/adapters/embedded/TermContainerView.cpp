// TermContainerView: borrowing and handing back a pane's terminal widget.
#include "app/adapters/embedded/TermContainerView.h"

#include <QResizeEvent>

namespace tilebay {

TermContainerView::TermContainerView(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

TermContainerView::~TermContainerView()
{
    // Before QWidget's destructor deletes the children: the pane outlives the tile.
    if (QWidget* term = hosted()) term->setParent(nullptr);
}

QWidget* TermContainerView::hosted() const
{
    return termView_ && termView_->parentWidget() == this ? termView_.data() : nullptr;
}

void TermContainerView::host(QWidget* termView)
{
    if (!termView || termView->parentWidget() == this) return;
    // A container holds one terminal: a different one here goes back to its pane.
    if (QWidget* previous = hosted()) previous->setParent(nullptr);
    termView_ = termView;
    termView->setParent(this);
    termView->setGeometry(rect());
    termView->show();
}

void TermContainerView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (QWidget* term = hosted()) term->setGeometry(rect());
}

}  // namespace tilebay
