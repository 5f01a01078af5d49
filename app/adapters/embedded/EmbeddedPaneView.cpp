// Search steps of an embedded pane over its terminal view. GUI thread only.
#include "app/adapters/embedded/EmbeddedPaneView.h"

#include "corvel/qt/TerminalView.h"

namespace tilebay {

namespace {

bool findStep(corvel::TerminalView& view, const QString& term, bool scrollToResult, bool forward)
{
    const corvel::SearchOptions options;
    const auto match = view.search().findAndSelect(view.selection(), term.toStdString(), options, forward);
    if (!match) return false;
    if (scrollToResult) {
        if (const auto top = view.search().revealScrollTarget(match->row)) view.scrollTo(*top);
    }
    return true;
}

}  // namespace

bool EmbeddedPaneView::findNext(const QString& term, bool scrollToResult)
{
    return findStep(terminalView(), term, scrollToResult, true);
}

bool EmbeddedPaneView::findPrevious(const QString& term, bool scrollToResult)
{
    return findStep(terminalView(), term, scrollToResult, false);
}

}  // namespace tilebay
