// What a search remembers between its steps: the term of the last step, so
// that repeating a term moves on to the next match while a changed term keeps
// its current one, and the options last used. Owned by one SearchService.
#pragma once

#include "corvel/terminal/SearchOptions.h"

#include <optional>
#include <string>

namespace corvel {

class SearchState {
public:
    std::optional<std::string> cachedSearchTerm;
    std::optional<SearchOptions> lastSearchOptions;
};

}  // namespace corvel
