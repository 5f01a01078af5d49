// The dirty range: the smallest interval of screen rows, and of
// scroll-invariant rows (screen row + yDisp), that covers every row touched
// since the host last cleared it. Two pairs of integers, widened with a
// compare per touched row and never allocating, since the print path calls
// this for every run it writes.
#include "corvel/terminal/Terminal.h"

#include <algorithm>

namespace corvel {

namespace {

constexpr int64_t kEmptyStart = std::numeric_limits<int64_t>::max();
constexpr int64_t kEmptyEnd = -1;

}  // namespace

void Terminal::updateFullScreen()
{
    refreshStart_ = 0;
    refreshEnd_ = rows_;
    scrollInvariantRefreshStart_ = buffer_->yDisp();
    scrollInvariantRefreshEnd_ = int64_t{buffer_->yDisp()} + rows_;
}

std::optional<std::pair<int64_t, int64_t>> Terminal::getUpdateRange() const
{
    if (refreshStart_ == kEmptyStart && refreshEnd_ == kEmptyEnd) return std::nullopt;
    return std::pair{refreshStart_, refreshEnd_};
}

std::optional<std::pair<int64_t, int64_t>> Terminal::getScrollInvariantUpdateRange() const
{
    if (scrollInvariantRefreshStart_ == kEmptyStart && scrollInvariantRefreshEnd_ == kEmptyEnd) return std::nullopt;
    return std::pair{scrollInvariantRefreshStart_, scrollInvariantRefreshEnd_};
}

void Terminal::clearUpdateRange()
{
    refreshStart_ = kEmptyStart;
    refreshEnd_ = kEmptyEnd;
    scrollInvariantRefreshStart_ = kEmptyStart;
    scrollInvariantRefreshEnd_ = kEmptyEnd;
}

void Terminal::refresh(int64_t startRow, int64_t endRow)
{
    updateRange(startRow);
    updateRange(endRow);
}

}  // namespace corvel
