// What a find bar searches: a terminal view implements it over its search
// service and selection. Terms are UTF-8. GUI thread only.
#pragma once

#include "corvel/terminal/SearchOptions.h"

#include <string>

namespace corvel {

class FindTarget {
public:
    virtual ~FindTarget() = default;
    // One step; true when a match was found and selected.
    virtual bool findNext(const std::string& term, const SearchOptions& options, bool scrollToResult) = 0;
    virtual bool findPrevious(const std::string& term, const SearchOptions& options, bool scrollToResult) = 0;
    // Forgets the search and switches an active selection off.
    virtual void clearSearch() = 0;
    // The bar was closed: the target takes the keyboard focus back.
    virtual void findBarClosed() = 0;
};

}  // namespace corvel
