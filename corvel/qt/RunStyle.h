// The resolved look of a run of cells (face, colours, underline and
// strikethrough) and the interface through which line building asks for it.
// The view resolves an `Attribute` once per distinct attribute (palette,
// bright colours, reverse video, dim, link underline) and keeps the result in
// its caches; line building copies the record into each run. Main thread
// only, like the view.
#pragma once

#include <QColor>

#include <cstdint>

#include "corvel/screen/Attribute.h"
#include "corvel/screen/UnderlineStyle.h"

namespace corvel::qt {

// Which of the view's four fonts draws a run.
enum class FontFace : uint8_t { normal = 0, bold = 1, italic = 2, boldItalic = 3 };

struct RunStyle {
    FontFace face = FontFace::normal;
    // An invalid colour means "not set": glyphs then take the view's default
    // foreground, and an unset background is not filled.
    QColor foreground;
    QColor background;
    // `none` draws no underline; a link highlight is `dashed`.
    UnderlineStyle underline = UnderlineStyle::none;
    QColor underlineColor;  // invalid: the view's default foreground
    bool strikethrough = false;
    QColor strikethroughColor;  // invalid: the view's default foreground

    bool operator==(const RunStyle&) const = default;
};

// Resolves cell attributes into run styles; implemented by the view, whose
// caches own the records.
class RunStyleSource {
public:
    virtual ~RunStyleSource() = default;
    // The style of cells with `attribute`; `asLink` for cells shown as a
    // highlighted hyperlink. The reference stays valid until the next call.
    virtual const RunStyle& runStyle(const Attribute& attribute, bool asLink) = 0;
};

}  // namespace corvel::qt
