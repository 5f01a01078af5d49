// Turns one buffer row into a ViewLineInfo for drawing: runs of cells with a
// resolved look (attribute, selection, link highlight, concealed text), the
// text of every cell at its column, and the box-drawing, block-element and
// image-placeholder cells that are drawn as geometry. The look of an
// attribute comes from a RunStyleSource (the view's colour mapping and
// caches); the builder itself keeps only the settings below. Main thread
// only, like the terminal it reads; it never changes the terminal.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "corvel/terminal/LinkMatch.h"
#include "corvel/screen/Position.h"
#include "corvel/qt/LinkHighlightMode.h"
#include "corvel/qt/ViewLineInfo.h"

namespace corvel {
class Terminal;
}

namespace corvel::qt {

// Decodes a cell holding the image placeholder character U+10EEEE from its
// text (UTF-8, with its diacritics) and attribute, continuing from the
// previous placeholder cell of the same row when there is one.
using PlaceholderDecoder = std::function<std::optional<KittyPlaceholderCell>(
    const std::string& character, const Attribute& attribute, int row, int col,
    const std::optional<KittyPlaceholderCell>& previous, const std::optional<Attribute>& previousAttribute)>;

// The library's own placeholder decoder (KittyPlaceholderDecoder) in the
// form line building calls; what a view decodes with unless told otherwise.
std::optional<KittyPlaceholderCell> decodeKittyPlaceholder(const std::string& character, const Attribute& attribute,
                                                           int row, int col,
                                                           const std::optional<KittyPlaceholderCell>& previous,
                                                           const std::optional<Attribute>& previousAttribute);

// The view state line building reads.
struct LineBuildSettings {
    // Box-drawing and block-element cells become geometry items.
    bool customBlockGlyphs = true;
    // For custom glyphs of a style without a foreground colour.
    QColor defaultForeground = Qt::black;
    QColor selectionBackground = QColor(0xb4, 0xd5, 0xfe);
    LinkHighlightMode linkHighlightMode = LinkHighlightMode::hoverWithModifier;
    // The hovered link's rows and columns (absolute rows); absent when none.
    std::optional<std::vector<LinkMatch::RowRange>> linkHighlightRange;
    // True while the command modifier is held.
    bool commandActive = false;
    // The active selection's start and end (absolute rows); absent when
    // nothing is selected.
    std::optional<std::pair<Position, Position>> selection;
    // Absent: placeholder cells are drawn as text.
    PlaceholderDecoder placeholderDecoder;
};

class LineBuilder {
public:
    LineBuilder(const Terminal& terminal, RunStyleSource& styles) : terminal_(terminal), styles_(styles) {}

    LineBuildSettings settings;

    // Builds `cols` columns of `line`, the line at absolute buffer row `row`,
    // into `out` (cleared first; its storage is reused). Columns past the
    // line's cells are blank cells with default colours.
    void build(int row, const BufferLine& line, int cols, ViewLineInfo& out);
    ViewLineInfo build(int row, const BufferLine& line, int cols)
    {
        ViewLineInfo info;
        build(row, line, cols, info);
        return info;
    }

private:
    bool linkFlag(const CharData& cell, const ColumnRange* hovered, int col, int width) const;

    const Terminal& terminal_;
    RunStyleSource& styles_;
    std::string scratch_;  // UTF-8 text of a grapheme cell
};

}  // namespace corvel::qt
