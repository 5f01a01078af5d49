// Search steps of an embedded pane over its terminal view. GUI thread only.
#include "app/adapters/embedded/EmbeddedPaneView.h"

#include "corvel/qt/TerminalView.h"

namespace tilebay {

bool EmbeddedPaneView::findNext(const QString& term, bool scrollToResult)
{
    return terminalView().findNext(term.toStdString(), corvel::SearchOptions{}, scrollToResult);
}

bool EmbeddedPaneView::findPrevious(const QString& term, bool scrollToResult)
{
    return terminalView().findPrevious(term.toStdString(), corvel::SearchOptions{}, scrollToResult);
}

void EmbeddedPaneView::clearSearch()
{
    terminalView().clearSearch();
}

}  // namespace tilebay
