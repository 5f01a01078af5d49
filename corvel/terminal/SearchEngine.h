// The matching half of search: one forward or backward step through the
// displayed buffer from a previous match, logical line by logical line, with
// wrap-around, plain or regular-expression matching, with or without case and
// optionally only whole words. Line texts come from the shared SearchLineCache.
//
// A step looks at each logical line at most once per pass: rows that continue
// a line that was already searched from an earlier point are skipped, since
// they cannot hold a match that the earlier search missed. A line of 10,000
// wrapped rows therefore costs one search, not 10,000.
//
// Plain matching that ignores case compares ASCII text directly and leaves
// other text to the regular-expression engine with the term as a literal, so
// case folding that changes lengths ("ß" and "SS") still finds the cells that
// matched. A regular expression is bounded per line by `regexTimeLimit`; a
// line that runs out of time counts as no match, and after
// `maxTimedOutLines` such lines the step gives up and finds nothing, so a
// pathological pattern cannot hang the view.
//
// Main thread only; the owner (SearchService) keeps terminal and cache alive.
#pragma once

#include "corvel/screen/Position.h"
#include "corvel/terminal/SearchOptions.h"
#include "corvel/terminal/SearchResult.h"
#include "corvel/terminal/SearchSelection.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace corvel {

class SearchLineCache;
class Terminal;

class SearchEngine {
public:
    SearchEngine(Terminal& terminal, SearchLineCache& lineCache);
    SearchEngine(const SearchEngine&) = delete;
    SearchEngine& operator=(const SearchEngine&) = delete;

    Terminal& terminal() const { return terminal_; }
    SearchLineCache& lineCache() const { return lineCache_; }

    // Upper bound of one line's regular-expression search, in steps of the
    // match engine (roughly milliseconds).
    int32_t regexTimeLimit = 20;
    int maxTimedOutLines = 8;

    // No options: ignore case, plain, no whole-word test. The term is UTF-8.
    std::optional<SearchResult> findNextWithSelection(const std::string& term,
                                                      const std::optional<SearchOptions>& searchOptions,
                                                      const std::optional<std::string>& cachedSearchTerm,
                                                      const std::optional<SearchSelection>& previousSelection);
    std::optional<SearchResult> findPreviousWithSelection(const std::string& term,
                                                          const std::optional<SearchOptions>& searchOptions,
                                                          const std::optional<std::string>& cachedSearchTerm,
                                                          const std::optional<SearchSelection>& previousSelection);

    // The space and every ASCII punctuation character but the underscore.
    static bool isNonWordCharacter(char32_t c);

    // Logical lines whose text the last step searched.
    size_t linesSearchedInLastStep() const { return linesSearched_; }
    // Lines of the last step whose regular expression ran out of time.
    int timedOutLinesInLastStep() const { return timedOutLines_; }

private:
    struct Query;

    // Searches the logical line of `position` from it, forward or backward,
    // moving the position as described in SearchEngine.cpp. `lastRow`, when
    // given, receives the last row of the logical line searched.
    std::optional<SearchResult> findInLine(Query& query, Position& position, bool reverse, int* lastRow);
    Query prepare(const std::string& term, const std::optional<SearchOptions>& options);

    Terminal& terminal_;
    SearchLineCache& lineCache_;
    size_t linesSearched_ = 0;
    int timedOutLines_ = 0;
};

}  // namespace corvel
