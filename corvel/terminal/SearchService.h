// The search of one terminal view over its displayed buffer: the state that
// carries a search from one step to the next (term, options, last match),
// the line cache and the engine. Each step starts after (forward) or before
// (backward) the last match and wraps around the buffer.
//
// The view seeds the last selection from its own selection before each step
// (findAndSelect does that and shows the match as the selection), calls
// invalidate() on every output chunk and size change (the position and the
// line texts go, the term stays) and reset() when the search is closed.
//
// Main thread only; the view that owns it keeps the terminal alive for the
// service's life.
#pragma once

#include "corvel/terminal/SearchEngine.h"
#include "corvel/terminal/SearchLineCache.h"
#include "corvel/terminal/SearchOptions.h"
#include "corvel/terminal/SearchResult.h"
#include "corvel/terminal/SearchSelection.h"
#include "corvel/terminal/SearchState.h"

#include <optional>
#include <string>

namespace corvel {

class SelectionService;
class Terminal;

class SearchService {
public:
    // Without a clock the line cache uses a steady clock.
    explicit SearchService(Terminal& terminal, SearchLineCache::Clock clock = {});
    SearchService(const SearchService&) = delete;
    SearchService& operator=(const SearchService&) = delete;

    Terminal& terminal() const { return terminal_; }
    SearchState& state() { return state_; }
    SearchLineCache& lineCache() { return lineCache_; }
    SearchEngine& engine() { return engine_; }
    const std::optional<SearchSelection>& lastSelection() const { return lastSelection_; }
    void setLastSelection(const std::optional<SearchSelection>& selection) { lastSelection_ = selection; }
    const std::optional<SearchResult>& lastResult() const { return lastResult_; }

    // One step forward or backward. An empty term clears the state and finds
    // nothing. The term is UTF-8.
    std::optional<SearchResult> findNext(const std::string& term, const SearchOptions& options);
    std::optional<SearchResult> findPrevious(const std::string& term, const SearchOptions& options);

    // The buffer changed: drops the line texts, the last result and the last
    // selection; keeps the term and the options.
    void invalidate();
    // Forgets the search: invalidate() and the term and options too.
    void reset();
    // Bumped by every invalidate() and reset().
    unsigned generation() const { return generation_; }

    // The cell just after a result: `size` cells on from its first cell,
    // wrapping at the terminal's width.
    Position endOf(const SearchResult& result) const;

    // A view's step: seeds the last selection from the selection (when it is
    // active), searches, and shows a match as the selection; without a match
    // an active selection is switched off (back to character mode).
    std::optional<SearchResult> findAndSelect(SelectionService& selection, const std::string& term,
                                              const SearchOptions& options, bool forward);
    // Where to scroll (the buffer row to show at the top) so that `row` is in
    // the middle of the screen; none when it is visible already, when the
    // displayed buffer is empty, or when it is the alternate screen.
    std::optional<int> revealScrollTarget(int row);

private:
    std::optional<SearchResult> step(const std::string& term, const SearchOptions& options, bool forward);

    Terminal& terminal_;
    SearchState state_;
    SearchLineCache lineCache_;
    SearchEngine engine_;
    std::optional<SearchSelection> lastSelection_;
    std::optional<SearchResult> lastResult_;
    unsigned generation_ = 0;
};

}  // namespace corvel
