// Stateless colour helpers of the terminal view: inverting and dimming view
// colours, and converting between view colours and the terminal's 16-bit
// Color. Also the small drawing-diagnosis helper and the name of the
// selected-text background marker the row builder uses.
#pragma once

#include "corvel/screen/Color.h"
#include "corvel/qt/DeviceColor.h"

#include <QRegion>

#include <string_view>

namespace corvel::colors {

// Red, green and blue each replaced by 1 minus its value; alpha kept.
DeviceColor inverseColor(const DeviceColor& color);
// Halfway from `color` towards `other`, with `color`'s alpha.
DeviceColor dimmedColor(const DeviceColor& color, const DeviceColor& other);
// Each component times 65535, truncated. 0.5 gives 32767, and a component
// that came from a 16-bit value (n / 65535) gives n back.
Color getTerminalColor(const DeviceColor& color);
// Each 16-bit component divided by 65535, alpha 1.
DeviceColor deviceColor(const Color& color);

// The name under which runs of selected cells carry the selection colour.
inline constexpr std::string_view selectionBackgroundColorKey = "Corvel_selectionBackgroundColor";

// Prints `text` on a line, then a line of "   -> " followed by each
// rectangle of `region` (the region being painted).
void pending(std::string_view text, const QRegion& region);

}  // namespace corvel::colors
