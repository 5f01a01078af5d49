// Search steps, their state, and the view's use of them.
#include "corvel/terminal/SearchService.h"

#include "corvel/screen/Buffer.h"
#include "corvel/terminal/SelectionService.h"
#include "corvel/terminal/Terminal.h"

#include <algorithm>
#include <cstdint>

namespace corvel {

SearchService::SearchService(Terminal& terminal, SearchLineCache::Clock clock)
    : terminal_(terminal), lineCache_(terminal, std::move(clock)), engine_(terminal, lineCache_)
{
}

std::optional<SearchResult> SearchService::findNext(const std::string& term, const SearchOptions& options)
{
    return step(term, options, true);
}

std::optional<SearchResult> SearchService::findPrevious(const std::string& term, const SearchOptions& options)
{
    return step(term, options, false);
}

std::optional<SearchResult> SearchService::step(const std::string& term, const SearchOptions& options, bool forward)
{
    if (term.empty()) {
        lastResult_.reset();
        lastSelection_.reset();
        state_.cachedSearchTerm.reset();
        state_.lastSearchOptions.reset();
        return std::nullopt;
    }
    state_.lastSearchOptions = options;
    const std::optional<std::string> cached = state_.cachedSearchTerm;
    auto result = forward ? engine_.findNextWithSelection(term, options, cached, lastSelection_)
                          : engine_.findPreviousWithSelection(term, options, cached, lastSelection_);
    state_.cachedSearchTerm = term;
    lastResult_ = result;
    if (result) {
        lastSelection_ = SearchSelection{{result->col, result->row}, endOf(*result)};
    } else {
        lastSelection_.reset();
    }
    return result;
}

Position SearchService::endOf(const SearchResult& result) const
{
    const Position start{result.col, result.row};
    if (result.size <= 0) return start;
    const int64_t width = std::max(terminal_.cols(), 1);
    const int64_t n = int64_t{result.row} * width + result.col + result.size;
    return {static_cast<int>(n % width), static_cast<int>(n / width)};
}

void SearchService::invalidate()
{
    lineCache_.drop();
    lastResult_.reset();
    lastSelection_.reset();
    ++generation_;
}

void SearchService::reset()
{
    invalidate();
    state_.cachedSearchTerm.reset();
    state_.lastSearchOptions.reset();
}

std::optional<SearchResult> SearchService::findAndSelect(SelectionService& selection, const std::string& term,
                                                         const SearchOptions& options, bool forward)
{
    if (selection.active()) {
        Position a = selection.start(), b = selection.end();
        if (Position::compare(b, a) == Position::compareResult::before) std::swap(a, b);
        lastSelection_ = SearchSelection{a, b};
    } else {
        lastSelection_.reset();
    }
    auto result = step(term, options, forward);
    if (result) {
        selection.setSelection({result->col, result->row}, endOf(*result));
    } else if (selection.active()) {
        selection.setActive(false);
        selection.setSelectionMode(SelectionMode::character);
    }
    return result;
}

std::optional<int> SearchService::revealScrollTarget(int row)
{
    Buffer& buffer = terminal_.displayBuffer();
    const int64_t lines = buffer.lines().count();
    if (lines <= 0 || terminal_.isDisplayBufferAlternate()) return std::nullopt;
    const int rows = buffer.rows();
    if (row >= buffer.yDisp() && row < buffer.yDisp() + rows) return std::nullopt;
    const int64_t highest = std::max<int64_t>(lines - rows, 0);
    return static_cast<int>(std::clamp<int64_t>(int64_t{row} - rows / 2, 0, highest));
}

}  // namespace corvel
