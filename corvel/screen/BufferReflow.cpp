// Resize of a screen buffer with reflow of soft-wrapped text.
//
// A line whose wrapped flag is set continues the line above it; a group is a
// line without the flag followed by every flagged line below it. Widening
// joins a group's lines and removes the lines that become empty; narrowing
// splits them and inserts new flagged lines. The group holding the cursor's
// line is left as it is: the program writing to the terminal redraws it.
//
// Only the lines the ring holds are touched: slots past the last line are not
// filled, so a resize costs memory for the lines in use, not for the whole
// capacity. A line made later for an empty slot gets the new width, which is
// what a blank line resized now would hold.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "corvel/screen/Buffer.h"
#include "corvel/platform/Log.h"

namespace corvel {

void Buffer::resize(int newCols, int newRows)
{
    newCols = std::max(newCols, 1);
    newRows = std::max(newRows, 1);

    // A margin spanning the full width keeps doing so at the new width.
    marginRight_ = marginRight_ >= cols_ - 1 ? newCols - 1 : std::min(marginRight_, newCols - 1);
    marginLeft_ = std::min(marginLeft_, marginRight_);

    // The ring follows the capacity rule for the new rows whether it holds
    // lines or not: an empty ring kept at a larger capacity (the alternate
    // screen before its first use) would later keep the lines that scroll
    // off the top of a screen that has no history.
    const int64_t newCapacity = getCorrectBufferLength(newRows);
    if (newCapacity > lines_.maxLength()) lines_.setMaxLength(newCapacity);

    if (lines_.count() == 0) {
        if (newCapacity < lines_.maxLength()) lines_.setMaxLength(newCapacity);
        scrollBottom_ = newRows - 1;
    } else {
        if (cols_ < newCols) {
            for (int64_t i = 0; i < lines_.count(); ++i) lines_[i].resize(newCols, CharData::Null);
        }

        int addToY = 0;
        if (rows_ > newRows) {
            for (int i = 0; i < rows_ - newRows; ++i) {
                if (lines_.count() <= int64_t{newRows} + yBase_) continue;
                if (lines_.count() > int64_t{yBase_} + y_ + 1) {
                    // A blank line below the cursor goes.
                    lines_.pop();
                } else {
                    // The screen moves down over the cursor's line.
                    ++yBase_;
                    ++yDisp_;
                }
            }
        } else if (rows_ < newRows) {
            for (int r = rows_; r < newRows; ++r) {
                if (lines_.count() >= int64_t{newRows} + yBase_) continue;
                if (yBase_ > 0 && lines_.count() <= int64_t{yBase_} + r + addToY + 1) {
                    // Pull a line back from the scrollback.
                    --yBase_;
                    ++addToY;
                    if (yDisp_ > 0) --yDisp_;
                } else {
                    lines_.push(BufferLine(newCols, CharData::Null));
                }
            }
        }

        if (newCapacity < lines_.maxLength()) {
            trimOldest(lines_.count() - newCapacity);
            lines_.setMaxLength(newCapacity);
        }

        x_ = std::min(x_, newCols - 1);
        y_ = std::min(y_, newRows - 1) + addToY;
        savedX = std::min(savedX, newCols - 1);
        scrollTop_ = 0;
        scrollBottom_ = newRows - 1;
    }

    tabStops.resize(static_cast<size_t>(newCols), false);

    if (hasScrollback_ && cols_ != newCols) {
        const bool narrowing = newCols < cols_;
        const int64_t cursorRow = int64_t{yBase_} + y_;
        const BufferLine* cursorLine = cursorRow < lines_.count() ? peekLine(cursorRow) : nullptr;
        if (narrowing) {
            reflowNarrower(cols_, newCols, newRows);
        } else {
            reflowWider(cols_, newCols, newRows);
        }
        if (cursorLine) keepCursorOnLine(*cursorLine, newRows);
        recalculateLinesWithImagesCount();
    }
    // Every line takes the new width, reflowed or not: cells kept past the
    // edge would come back on widening, over whatever was erased meanwhile.
    if (newCols < cols_) cutLinesTo(newCols);

    if (lines_.count() > 0) {
        releaseLinesPastEnd();
        for (int64_t i = 0; i < lines_.count(); ++i) {
            const BufferLine* line = peekLine(i);
            if (line && line->count() < newCols) {
                log::write("stop here newCols=" + std::to_string(newCols) +
                           " but the element has: " + std::to_string(line->count()));
                std::abort();
            }
        }
    }

    cols_ = newCols;
    rows_ = newRows;
}

void Buffer::cutLinesTo(int newCols)
{
    for (int64_t i = 0; i < lines_.count(); ++i) {
        BufferLine& line = lines_[i];
        if (line.count() <= newCols) continue;
        // A wide character cut in half at the new edge is blanked, so that
        // no write can land in its lost right half after a widening.
        if (line[newCols - 1].width == 2) {
            Attribute blank;
            blank.bg = line[newCols - 1].attribute.bg;
            line.set(newCols - 1, CharData(blank));
        }
        line.resize(newCols, CharData::Null);
    }
}

// The viewport steps of both reflow passes assume that the groups they change
// lie above the cursor. A group below it (text a program drew under the
// cursor) leaves the cursor's line where it was, so the cursor is put back on
// its own line, with the screen ending at the last line where that keeps the
// cursor on the screen.
void Buffer::keepCursorOnLine(const BufferLine& cursorLine, int newRows)
{
    const int64_t count = lines_.count();
    const int64_t expected = int64_t{yBase_} + y_;
    if (expected < count && peekLine(expected) == &cursorLine && count <= int64_t{yBase_} + newRows) return;
    int64_t found = -1;
    for (int64_t i = count - 1; i >= 0; --i) {
        if (peekLine(i) == &cursorLine) {
            found = i;
            break;
        }
    }
    if (found < 0) return;
    const int64_t base = std::min(std::max<int64_t>(count - newRows, 0), found);
    const bool following = yDisp_ == yBase_;
    yBase_ = static_cast<int>(base);
    y_ = static_cast<int>(found - base);
    yDisp_ = following ? yBase_ : std::min(yDisp_, yBase_);
}

// ---- widening ----

void Buffer::reflowWider(int oldCols, int newCols, int newRows)
{
    const std::vector<int64_t> toRemove =
        getLinesToRemove(oldCols, newCols, int64_t{yBase_} + y_, CharData::Null);
    if (toRemove.empty()) return;

    // One pass collects the surviving lines in order, one pass writes them back.
    const int64_t count = lines_.count();
    std::vector<std::unique_ptr<BufferLine>> survivors;
    survivors.reserve(static_cast<size_t>(count));
    int64_t countRemoved = 0;
    size_t pair = 0;
    for (int64_t i = 0; i < count;) {
        if (pair + 1 < toRemove.size() && i == toRemove[pair]) {
            const int64_t n = toRemove[pair + 1];
            for (int64_t k = 0; k < n && i + k < count; ++k) lines_.take(i + k);
            countRemoved += n;
            i += n;
            pair += 2;
        } else {
            survivors.push_back(lines_.take(i));
            ++i;
        }
    }
    for (size_t k = 0; k < survivors.size(); ++k) lines_.set(static_cast<int64_t>(k), std::move(survivors[k]));
    lines_.setCount(static_cast<int64_t>(survivors.size()));

    for (int64_t i = 0; i < countRemoved; ++i) {
        if (yBase_ == 0) {
            if (y_ > 0) --y_;
            if (lines_.count() < newRows) lines_.push(BufferLine(newCols, CharData::Null));
        } else {
            if (yDisp_ == yBase_) --yDisp_;
            --yBase_;
        }
    }
    savedY = static_cast<int>(std::max<int64_t>(savedY - countRemoved, 0));
}

std::vector<int64_t> Buffer::getLinesToRemove(int oldCols, int newCols, int64_t bufferAbsoluteY,
                                              const CharData& nullChar)
{
    std::vector<int64_t> toRemove;
    std::vector<BufferLine*> group;
    const int64_t count = lines_.count();
    for (int64_t y = 0; y < count - 1; ++y) {
        if (!lines_[y + 1].isWrapped) continue;

        group.clear();
        group.push_back(&lines_[y]);
        int64_t i = y + 1;
        for (; i < count && lines_[i].isWrapped; ++i) group.push_back(&lines_[i]);

        if (bufferAbsoluteY >= y && bufferAbsoluteY < i) {
            // The cursor's group keeps its layout.
            y = i - 1;
            continue;
        }

        const int groupSize = static_cast<int>(group.size());
        int destLine = 0;
        int destCol = getWrappedLineTrimmedLength(group, 0, oldCols);
        int srcLine = 1;
        int srcCol = 0;
        // A row whose last cell is the first half of a cut wide character
        // counts one column more than it holds, so the joined cells can fill
        // the group's last row: the walk stops there.
        while (srcLine < groupSize && destLine < groupSize) {
            const int srcLength = getWrappedLineTrimmedLength(group, srcLine, oldCols);
            const int n = std::max(0, std::min(srcLength - srcCol, newCols - destCol));
            group[static_cast<size_t>(destLine)]->copyFrom(*group[static_cast<size_t>(srcLine)], srcCol, destCol, n);
            destCol += n;
            if (destCol == newCols) {
                ++destLine;
                destCol = 0;
            }
            srcCol += n;
            if (srcCol >= srcLength) {
                ++srcLine;
                srcCol = 0;
            }
            if (destLine == groupSize) break;
            // A wide character never straddles the edge: when the previous row
            // ends in one, it moves to the start of this row.
            if (destCol == 0 && destLine != 0) {
                BufferLine& previous = *group[static_cast<size_t>(destLine - 1)];
                if (previous.getWidth(newCols - 1) == 2) {
                    group[static_cast<size_t>(destLine)]->copyFrom(previous, newCols - 1, destCol, 1);
                    ++destCol;
                    if (newCols - 1 < previous.count()) previous.set(newCols - 1, nullChar);
                }
            }
        }

        if (destLine == groupSize) {
            destLine = groupSize - 1;
            destCol = newCols;
        }
        BufferLine& last = *group[static_cast<size_t>(destLine)];
        last.replaceCells(destCol, std::min(newCols, last.count()), nullChar);

        int countToRemove = 0;
        for (int k = groupSize - 1; k > 0; --k) {
            if (k > destLine || group[static_cast<size_t>(k)]->getTrimmedLength() == 0) {
                ++countToRemove;
            } else {
                break;
            }
        }
        if (countToRemove > 0) {
            toRemove.push_back(y + groupSize - countToRemove);
            toRemove.push_back(countToRemove);
        }
        y = i - 1;
    }
    return toRemove;
}

// ---- narrowing ----

void Buffer::reflowNarrower(int oldCols, int newCols, int newRows)
{
    std::vector<InsertionSet> toInsert;
    int64_t countToInsert = 0;
    std::vector<BufferLine*> group;
    // Until the final sweep the cursor's line keeps this ring index.
    const int64_t cursorIndex = int64_t{yBase_} + y_;

    // Bottom-up, so the lines a trim would drop are never looked at.
    for (int64_t y = lines_.count() - 1; y >= 0; --y) {
        BufferLine* nextLine = &lines_[y];
        if (!nextLine->isWrapped && nextLine->getTrimmedLength() <= newCols) continue;

        const int64_t groupEnd = y;
        while (nextLine->isWrapped && y > 0) {
            --y;
            nextLine = &lines_[y];
        }
        group.clear();
        for (int64_t k = y; k <= groupEnd; ++k) group.push_back(&lines_[k]);
        const int64_t groupSize = static_cast<int64_t>(group.size());

        const int64_t cursorRow = int64_t{yBase_} + y_;
        if (cursorRow >= y && cursorRow < y + groupSize) continue;

        const int lastLineLength = group.back()->getTrimmedLength();
        const std::vector<int> lengths = getNewLineLengths(group, oldCols, newCols);
        if (lengths.empty()) continue;

        const int64_t linesToAdd = static_cast<int64_t>(lengths.size()) - groupSize;
        // Lines the insertion pushes off the top of a full ring. With the
        // screen at the top of the ring, the rows below the cursor are given
        // up first (below), leaving the y + 1 lines down to the cursor's.
        int64_t trimmed = (yBase_ == 0 && y_ != lines_.count() - 1)
                              ? int64_t{y_} + 1 - lines_.maxLength() + linesToAdd
                              : lines_.count() - lines_.maxLength() + linesToAdd;
        trimmed = std::max<int64_t>(trimmed, 0);

        if (linesToAdd > 0) {
            InsertionSet set;
            set.lines.reserve(static_cast<size_t>(linesToAdd));
            // Made at the new width straight away: the copy below fills at most
            // newCols cells of them, and every line is cut to newCols afterwards.
            for (int64_t k = 0; k < linesToAdd; ++k) set.lines.emplace_back(newCols, CharData::Null, true);
            set.start = y + groupSize + countToInsert;
            toInsert.push_back(std::move(set));
            countToInsert += linesToAdd;
            for (BufferLine& line : toInsert.back().lines) group.push_back(&line);
        }

        // Copy from the end backwards, so every cell is read before it is overwritten.
        int destLine = static_cast<int>(lengths.size()) - 1;
        int destCol = lengths[static_cast<size_t>(destLine)];
        if (destCol == 0) {
            --destLine;
            destCol = lengths[static_cast<size_t>(destLine)];
        }
        int srcLine = static_cast<int>(groupSize - 1);  // the group's own last line, before the new ones
        int srcCol = lastLineLength;
        while (srcLine >= 0 && destLine >= 0) {
            const int n = std::min(srcCol, destCol);
            group[static_cast<size_t>(destLine)]->copyFrom(*group[static_cast<size_t>(srcLine)], srcCol - n, destCol - n,
                                                           n);
            destCol -= n;
            if (destCol == 0) {
                --destLine;
                destCol = destLine >= 0 ? lengths[static_cast<size_t>(destLine)] : 0;
            }
            srcCol -= n;
            if (srcCol == 0) {
                --srcLine;
                srcCol = getWrappedLineTrimmedLength(group, std::max(srcLine, 0), oldCols);
            }
        }

        for (size_t k = 0; k < lengths.size(); ++k) {
            if (lengths[k] < newCols) group[k]->set(lengths[k], CharData::Null);
        }

        // The steps below move the screen down over a group above the
        // cursor. A group below it pushes only the rows under it down: the
        // cursor's line stays, and the screen is placed after the pass.
        const bool belowCursor = y > cursorRow;
        if (belowCursor && countToInsert == linesToAdd) {
            // The lowest group that grows: blank rows under it make the room.
            for (int64_t k = 0; k < linesToAdd; ++k) {
                const int64_t last = lines_.count() - 1;
                if (last < groupEnd + 1 || lines_[last].hasAnyContent()) break;
                lines_.pop();
            }
        }
        const int64_t viewportSteps = belowCursor ? 0 : linesToAdd - trimmed;
        for (int64_t k = 0; k < viewportSteps; ++k) {
            if (yBase_ == 0) {
                if (y_ < newRows - 1) {
                    // Only a blank row below the cursor is given up. A row a
                    // program drew there stays; the cursor is put back on
                    // its line after the pass.
                    const int64_t last = lines_.count() - 1;
                    if (last <= cursorIndex || lines_[last].hasAnyContent()) continue;
                    ++y_;
                    lines_.pop();
                } else {
                    ++yBase_;
                    ++yDisp_;
                }
            } else if (yBase_ < std::min(lines_.maxLength(), lines_.count() + countToInsert) - newRows) {
                if (yDisp_ == yBase_) ++yDisp_;
                ++yBase_;
            }
        }
        savedY = static_cast<int>(std::min<int64_t>(savedY + linesToAdd, int64_t{yBase_} + newRows - 1));
    }

    rearrange(toInsert, countToInsert);
}

std::vector<int> Buffer::getNewLineLengths(const std::vector<BufferLine*>& wrappedLines, int oldCols, int newCols)
{
    const int size = static_cast<int>(wrappedLines.size());
    int64_t cellsNeeded = 0;
    for (int i = 0; i < size; ++i) cellsNeeded += getWrappedLineTrimmedLength(wrappedLines, i, oldCols);

    std::vector<int> lengths;
    int srcLine = 0;
    int srcCol = 0;
    int64_t cellsAvailable = 0;
    while (cellsAvailable < cellsNeeded) {
        if (cellsNeeded - cellsAvailable < newCols) {
            lengths.push_back(static_cast<int>(cellsNeeded - cellsAvailable));
            break;
        }
        srcCol += newCols;
        if (srcLine < size) {
            const int oldLength = getWrappedLineTrimmedLength(wrappedLines, srcLine, oldCols);
            if (srcCol > oldLength) {
                srcCol -= oldLength;
                ++srcLine;
            }
        }
        // A wide character that would be split moves whole to the next row. A
        // single column cannot hold one at all, and a row of zero cells would
        // never finish the group, so one column splits it instead.
        const bool splitsWide = newCols > 1 && srcLine < size &&
                                (*wrappedLines[static_cast<size_t>(srcLine)])[srcCol - 1].width == 2;
        if (splitsWide) --srcCol;
        const int length = splitsWide ? newCols - 1 : newCols;
        lengths.push_back(length);
        cellsAvailable += length;
    }
    return lengths;
}

int Buffer::getWrappedLineTrimmedLength(const std::vector<BufferLine*>& lines, int index, int cols)
{
    const BufferLine* next =
        static_cast<size_t>(index) + 1 < lines.size() ? lines[static_cast<size_t>(index) + 1] : nullptr;
    return getWrappedLineTrimmedLength(*lines[static_cast<size_t>(index)], next, cols);
}

int Buffer::getWrappedLineTrimmedLength(const BufferLine& line, const BufferLine* nextLine, int cols)
{
    if (!nextLine) return line.getTrimmedLength();
    // The gap a wide character leaves when it does not fit and wraps: a plain
    // empty cell in the last column, with the wide character opening the next row.
    const CharData& endCell = line[cols - 1];
    const bool endsInNull = endCell.code == 0 && endCell.width == 1 && endCell.attribute == Attribute{};
    const bool followingWide = (*nextLine)[0].width == 2;
    return endsInNull && followingWide ? cols - 1 : cols;
}

void Buffer::rearrange(std::vector<InsertionSet>& toInsert, int64_t countToInsert)
{
    if (toInsert.empty()) return;

    const int64_t oldCount = lines_.count();
    std::vector<std::unique_ptr<BufferLine>> original(static_cast<size_t>(oldCount));
    for (int64_t i = 0; i < oldCount; ++i) {
        lines_[i];  // an empty slot gets its line first
        original[static_cast<size_t>(i)] = lines_.take(i);
    }
    const int64_t maxLength = lines_.maxLength();
    lines_.setCount(std::min(oldCount + countToInsert, maxLength));

    // The sets were made bottom-up, so the first one is the lowest. Filling
    // from the bottom, a set goes in once the walk has passed its start; when
    // the total exceeds the capacity the oldest lines are the ones left out.
    int64_t oldIndex = oldCount - 1;
    size_t setIndex = 0;
    int64_t insertedSoFar = 0;
    for (int64_t i = std::min(maxLength - 1, oldCount + countToInsert - 1); i >= 0;) {
        if (setIndex < toInsert.size() && !toInsert[setIndex].isNull &&
            toInsert[setIndex].start > oldIndex + insertedSoFar) {
            std::vector<BufferLine>& set = toInsert[setIndex].lines;
            for (int64_t j = static_cast<int64_t>(set.size()) - 1; j >= 0 && i >= 0; --j, --i) {
                lines_.set(i, std::move(set[static_cast<size_t>(j)]));
            }
            insertedSoFar += static_cast<int64_t>(set.size());
            ++setIndex;
        } else {
            if (oldIndex < 0) break;
            lines_.set(i, std::move(original[static_cast<size_t>(oldIndex)]));
            --oldIndex;
            --i;
        }
    }
}

}  // namespace corvel
