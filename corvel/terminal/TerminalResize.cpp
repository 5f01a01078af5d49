// Changing the terminal's size and the normal screen's scrollback.
#include "corvel/terminal/Terminal.h"

#include <algorithm>
#include <limits>

namespace corvel {

void Terminal::resize(int newCols, int newRows)
{
    newCols = std::max(newCols, MINIMUM_COLS);
    newRows = std::max(newRows, MINIMUM_ROWS);
    if (newCols == cols_ && newRows == rows_) return;

    endSynchronizedOutput();
    const int oldCols = cols_;
    // An open link marks what it covered: the rows are about to move.
    markOpenHyperlink(false);
    resizeBuffers(newCols, newRows);
    cols_ = newCols;
    rows_ = newRows;
    restartOpenHyperlink();
    options_.cols = newCols;
    options_.rows = newRows;
    // Stops set within the old width survive; the new columns get default stops.
    normalBuffer_->setupTabStops(oldCols, tabStopWidth);
    altBuffer_->setupTabStops(oldCols, tabStopWidth);
    fitMarginsToWidth();
    // Rewrapped lines moved the placements' images.
    refreshKittyRecordPositions();
    updateRange(0);
    updateRange(rows_ - 1);
}

void Terminal::changeScrollback(std::optional<int> lines)
{
    // Shrinking drops history lines the frozen copy may still read through.
    if (snapshotSource_ == normalBuffer_.get()) preserveSnapshotHistory();
    markOpenHyperlink(false);
    const int64_t before = normalBuffer_->lines().count();
    normalBuffer_->changeHistorySize(lines);
    // The oldest lines a smaller history drops take the lines below up.
    if (const int64_t dropped = before - normalBuffer_->lines().count(); dropped > 0)
        shiftKittyRecordRows(false, std::numeric_limits<int64_t>::max(), -dropped);
    options_.scrollback = lines.value_or(0);
    restartOpenHyperlink();
    garbageCollectPayload();
    updateRange(0);
    updateRange(rows_ - 1);
}

}  // namespace corvel
