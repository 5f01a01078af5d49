// What the store's search of an expanded cell needs of a pane's terminal view:
// find the next or the previous match of a term with default options (case
// insensitive, literal, not whole words), scrolling the view to the match,
// which it then shows as its selection; and forget the search, switching that
// selection off, when the expanded cell's search closes. The embedded adapter hands out the
// first pane of a cell in this form. Main thread only.
#pragma once

#include <QString>

namespace tilebay {

class SearchTarget {
public:
    virtual ~SearchTarget() = default;

    // True when a match was found (and selected).
    virtual bool findNext(const QString& term, bool scrollToResult) = 0;
    virtual bool findPrevious(const QString& term, bool scrollToResult) = 0;
    // Resets the view's search and makes its search selection inactive.
    virtual void clearSearch() = 0;
};

}  // namespace tilebay
