// Fonts of the design system, chosen by pixel size and weight. The general
// design uses the application's font family, the monospaced design the system's
// fixed-pitch family when its face really is monospaced, and otherwise the
// first installed fixed-pitch family that is; both name NanumGothic as the next
// family, so Hangul text always finds its glyphs there. Stateless; main thread
// (reads the application font and the font database).
#pragma once

#include <QFont>
#include <QString>

namespace tilebay {

enum class FontDesign : unsigned char { standard, monospaced };

// The family that carries Hangul in every design-system font.
inline constexpr const char* kHangulFamily = "NanumGothic";

QFont dsFont(int pixelSize, QFont::Weight weight = QFont::Normal,
             FontDesign design = FontDesign::standard);

// True when the face the font resolves to gives its narrowest and widest
// Latin characters the same advance. Measured rather than read from the font
// database, which calls some monospaced faces proportional (and the reverse).
bool isMonospaced(const QFont& font);

// The family the preferred font resolves to when that face is monospaced;
// otherwise the first installed fixed-pitch family whose face is, or the
// resolved family after all when there is none.
QString monospacedFamily(const QFont& preferred);

}  // namespace tilebay
