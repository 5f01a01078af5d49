// One pass over the row's cells: a new run starts whenever the attribute, the
// link flag or the selected flag changes, so a row costs one style lookup per
// run. The text of a plain cell is appended straight from its code; only
// grapheme clusters go through the terminal's cluster table.
// The core headers come before any Qt header: Qt defines `emit` as a macro.
#include "corvel/terminal/Terminal.h"
#include "corvel/kitty/KittyPlaceholderDecoder.h"

#include "corvel/qt/LineBuilder.h"
#include "corvel/qt/BoxDrawingRenderer.h"
#include "corvel/qt/LineQueries.h"

namespace corvel::qt {

namespace {

using KittyPlaceholderDecoder::placeholderCharacter;

bool overlaps(const ColumnRange& range, int col, int width)
{
    return range.lowerBound < col + width && col < range.upperBound;
}

void appendScalar(QString& text, char32_t scalar)
{
    if (scalar > 0xFFFF) {
        text.append(QChar(QChar::highSurrogate(scalar)));
        text.append(QChar(QChar::lowSurrogate(scalar)));
    } else {
        text.append(QChar(static_cast<char16_t>(scalar)));
    }
}

bool isScalarCode(int32_t code)
{
    return code > 0 && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
}

// The first scalar of UTF-8 text, or 0.
char32_t firstScalar(const std::string& s)
{
    const QString q = QString::fromUtf8(s.data(), static_cast<qsizetype>(std::min<size_t>(s.size(), 4)));
    if (q.isEmpty()) return 0;
    return q.at(0).isHighSurrogate() && q.size() > 1 ? QChar::surrogateToUcs4(q.at(0), q.at(1)) : q.at(0).unicode();
}

}  // namespace

std::optional<KittyPlaceholderCell> decodeKittyPlaceholder(const std::string& character, const Attribute& attribute,
                                                           int row, int col,
                                                           const std::optional<KittyPlaceholderCell>& previous,
                                                           const std::optional<Attribute>& previousAttribute)
{
    return KittyPlaceholderDecoder::decode(character, attribute, row, col, previous, previousAttribute);
}

bool LineBuilder::linkFlag(const CharData& cell, const ColumnRange* hovered, int col, int width) const
{
    switch (settings.linkHighlightMode) {
    case LinkHighlightMode::hover: return hovered && overlaps(*hovered, col, width);
    case LinkHighlightMode::hoverWithModifier:
        return settings.commandActive && hovered && overlaps(*hovered, col, width);
    case LinkHighlightMode::always: return cell.hasPayload();
    case LinkHighlightMode::alwaysWithModifier: return cell.hasPayload() && settings.commandActive;
    }
    return false;
}

void LineBuilder::build(int row, const BufferLine& line, int cols, ViewLineInfo& out)
{
    out.clear();
    out.images = line.images;
    if (cols < 1) return;

    std::optional<ColumnRange> selected;
    if (settings.selection) {
        selected = selectedColumnsRange(settings.selection->first, settings.selection->second, row, cols);
    }
    // The hovered link's columns on this row: the first entry for the row,
    // when its range is not empty.
    std::optional<ColumnRange> hovered;
    if (settings.linkHighlightRange) {
        for (const auto& r : *settings.linkHighlightRange) {
            if (r.row == row) {
                if (!r.range.isEmpty()) hovered = r.range;
                break;
            }
        }
    }

    const CharData blank;  // code 0, width 1, default colours
    std::optional<KittyPlaceholderCell> previousPlaceholder;
    std::optional<Attribute> previousPlaceholderAttribute;
    ViewLineRun* run = nullptr;
    Attribute runAttribute;

    for (int col = 0; col < cols;) {
        const CharData& cell = col < line.count() ? line[col] : blank;
        const int width = cell.width >= 2 ? cell.width : 1;
        const bool link = linkFlag(cell, hovered ? &*hovered : nullptr, col, width);
        const bool isSelected = selected && overlaps(*selected, col, width);

        if (!run || cell.attribute != runAttribute || link != run->link || isSelected != run->selected) {
            ViewLineRun next;
            next.cellBegin = next.cellEnd = static_cast<int>(out.cells.size());
            next.column = next.endColumn = col;
            next.style = styles_.runStyle(cell.attribute, link);
            next.link = link;
            next.selected = isSelected;
            if (isSelected) next.selectionBackground = settings.selectionBackground;
            if (cell.attribute.style.contains(CharacterStyle::invisible)) {
                // Concealed: drawn in the colour behind it, decorations too.
                next.concealed = true;
                next.style.foreground = next.fillColor();
                next.style.underline = UnderlineStyle::none;
                next.style.strikethrough = false;
            }
            out.runs.push_back(std::move(next));
            run = &out.runs.back();
            runAttribute = cell.attribute;
        }

        ViewLineCell vc{col, width, static_cast<int>(out.text.size()), 0};
        const int32_t code = cell.code;
        bool asText = true;
        char32_t scalar = isScalarCode(code) ? static_cast<char32_t>(code) : 0;
        if (code == 0) {
            asText = false;
        } else if (settings.customBlockGlyphs && scalar >= 0x2500 && scalar <= 0x259F) {
            const QColor fg = run->style.foreground.isValid() ? run->style.foreground : settings.defaultForeground;
            if (BoxDrawingRenderer::handles(scalar)) {
                out.boxDrawings.push_back({col, width, scalar, fg});
                asText = false;
            } else if (auto rects = BlockElementMapping::rects(scalar)) {
                out.blockElements.push_back({col, width, scalar, *rects, fg});
                asText = false;
            }
        }
        if (!asText) {
            previousPlaceholder.reset();
            previousPlaceholderAttribute.reset();
        } else if (scalar != 0 && scalar != placeholderCharacter) {
            appendScalar(out.text, scalar);
            previousPlaceholder.reset();
            previousPlaceholderAttribute.reset();
        } else {
            scratch_ = terminal_.character(code);
            std::optional<KittyPlaceholderCell> placeholder;
            if (settings.placeholderDecoder && firstScalar(scratch_) == placeholderCharacter) {
                placeholder = settings.placeholderDecoder(scratch_, cell.attribute, row, col, previousPlaceholder,
                                                          previousPlaceholderAttribute);
            }
            if (placeholder) {
                out.placeholderCells.push_back(*placeholder);
                previousPlaceholder = placeholder;
                previousPlaceholderAttribute = cell.attribute;
            } else {
                out.text.append(QString::fromUtf8(scratch_.data(), static_cast<qsizetype>(scratch_.size())));
                previousPlaceholder.reset();
                previousPlaceholderAttribute.reset();
            }
        }
        vc.textLength = static_cast<int>(out.text.size()) - vc.textStart;
        out.cells.push_back(vc);
        run->cellEnd = static_cast<int>(out.cells.size());
        run->endColumn = col + width;
        col += width;
    }
}

}  // namespace corvel::qt
