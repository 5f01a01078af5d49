// What line building makes of one buffer row for drawing: runs of cells that
// share a look, the text of every cell with the column it sits on, and the
// cells drawn as geometry or images instead of font glyphs. Glyphs are placed
// by their cell's column, never by their index in the text, so a combining
// mark, a joined emoji or a ligature never shifts the rest of the row. A value
// type, rebuilt for every drawn row.
#pragma once

#include <QColor>
#include <QString>

#include <optional>
#include <span>
#include <vector>

#include "corvel/screen/BufferLine.h"
#include "corvel/kitty/KittyPlaceholderCell.h"
#include "corvel/qt/BlockElementMapping.h"
#include "corvel/qt/RunStyle.h"

namespace corvel::qt {

// One cell of the row: its first column, its width in columns (1 or 2) and
// its text in `ViewLineInfo::text`. A cell without text (empty, custom glyph,
// image placeholder) draws its background only.
struct ViewLineCell {
    int column = 0;
    int width = 1;
    int textStart = 0;   // UTF-16 offset
    int textLength = 0;  // UTF-16 units

    bool operator==(const ViewLineCell&) const = default;
};

// Consecutive cells with the same attribute, link highlight and selection.
struct ViewLineRun {
    int cellBegin = 0;  // index into ViewLineInfo::cells
    int cellEnd = 0;    // one past the last cell
    int column = 0;     // first column covered
    int endColumn = 0;  // one past the last column covered
    // The look of the run. For concealed text the foreground and the
    // decorations take the colour the background is filled with, so the text
    // is invisible but still in the buffer for copying.
    RunStyle style;
    bool selected = false;
    bool link = false;
    bool concealed = false;
    // Set on selected runs: painted instead of `style.background`.
    QColor selectionBackground;

    // The colour the run's background is filled with; invalid when none.
    const QColor& fillColor() const { return selected ? selectionBackground : style.background; }
};

struct BlockElementRenderItem {
    int column = 0;
    int columnWidth = 1;
    char32_t codePoint = 0;
    std::span<const BlockElementRect> rects;  // into the process-wide table
    QColor foregroundColor;
};

struct BoxDrawingRenderItem {
    int column = 0;
    int columnWidth = 1;
    char32_t codePoint = 0;
    QColor foregroundColor;
};

struct ViewLineInfo {
    QString text;                     // the text of all cells, in column order
    std::vector<ViewLineCell> cells;  // every cell of the row, in column order
    std::vector<ViewLineRun> runs;    // in column order, covering all cells
    std::optional<BufferLine::ImageList> images;  // the line's images, passed through
    std::vector<KittyPlaceholderCell> placeholderCells;
    std::vector<BlockElementRenderItem> blockElements;
    std::vector<BoxDrawingRenderItem> boxDrawings;

    // The text of one cell.
    QStringView cellText(const ViewLineCell& cell) const
    {
        return QStringView(text).mid(cell.textStart, cell.textLength);
    }
    // Empties every list, keeping their storage for the next row.
    void clear()
    {
        text.clear();
        cells.clear();
        runs.clear();
        images.reset();
        placeholderCells.clear();
        blockElements.clear();
        boxDrawings.clear();
    }
};

}  // namespace corvel::qt
