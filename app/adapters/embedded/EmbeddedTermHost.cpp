// EmbeddedTermHost: a container per terminal widget, and moving it in.
#include "app/adapters/embedded/EmbeddedTermHost.h"

#include "app/adapters/embedded/TermContainerView.h"

namespace tilebay {

TermContainerView* EmbeddedTermHost::makeContainer(QWidget* parent) const
{
    return new TermContainerView(parent);
}

void EmbeddedTermHost::update(TermContainerView& container) const
{
    if (termView) container.host(termView);
}

}  // namespace tilebay
