// SplitTermLayout: one box of containers along the cell's axis.
#include "app/adapters/embedded/SplitTermLayout.h"

#include "app/adapters/embedded/TermContainerView.h"

#include <QBoxLayout>
#include <QPalette>

namespace tilebay {

SplitTermLayout::SplitTermLayout(const std::vector<QWidget*>& views, Axis axis, QWidget* parent)
    : QWidget(parent), axis_(axis)
{
    // The black shows only in the gaps between the containers.
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);

    auto* box = new QBoxLayout(axis == Axis::horizontal ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom, this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(spacing);
    for (QWidget* view : views) {
        hosts_.push_back({view});
        TermContainerView* container = hosts_.back().makeContainer(this);
        box->addWidget(container, 1);
        containers_.push_back(container);
    }
    updateHosts();
}

SplitTermLayout::~SplitTermLayout() = default;

void SplitTermLayout::updateHosts()
{
    for (size_t n = 0; n < hosts_.size(); ++n) hosts_[n].update(*containers_[n]);
}

void SplitTermLayout::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    updateHosts();
}

}  // namespace tilebay
