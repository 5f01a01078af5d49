// How the view draws a run of cells that share one attribute: the face, the
// colours and the decorations. The view builds one per cell attribute and
// caches it; row drawing reads it.
#pragma once

#include "corvel/qt/DeviceColor.h"

#include <QFont>

#include <cstdint>
#include <optional>

namespace corvel {

// The line a decoration is drawn with: a single line, a double line, or a
// single line with a dot or dash pattern. Curly underlines are drawn as
// single here and curled by row drawing from `underlineStyle`.
enum class DecorationLine : uint16_t {
    single = 1,
    doubleLine = 9,
    singleDotted = 257,
    singleDashed = 513,
};

struct TextAttributes {
    QFont font;
    DeviceColor foreground;
    DeviceColor background;
    std::optional<DeviceColor> underlineColor;
    std::optional<DecorationLine> underline;
    // The cell's UnderlineStyle raw value (none read as single), or 5
    // (dashed) for a hyperlink; row drawing draws curly, dotted and dashed
    // lines itself from it.
    std::optional<uint8_t> underlineStyle;
    std::optional<DeviceColor> strikethroughColor;
    std::optional<DecorationLine> strikethrough;
};

}  // namespace corvel
