#include "app/ui/grid/PaneHandBack.h"

#include "corvel/qt/TerminalView.h"

#include <QWidget>

namespace tilebay {

namespace {

void collect(QWidget* widget, QList<QWidget*>& panes)
{
    for (QObject* child : widget->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (!w) continue;
        if (qobject_cast<corvel::TerminalView*>(w))
            panes.append(w);
        else
            collect(w, panes);
    }
}

}  // namespace

int handBackPanes(QWidget* container)
{
    if (!container) return 0;
    QList<QWidget*> panes;
    collect(container, panes);
    for (QWidget* pane : panes) pane->setParent(nullptr);
    return static_cast<int>(panes.size());
}

}  // namespace tilebay
