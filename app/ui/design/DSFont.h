// Fonts of the design system, chosen by pixel size and weight. The general
// design uses the application's font family, the monospaced design the system's
// fixed-pitch family; both name NanumGothic as the next family, so Hangul text
// always finds its glyphs there. Stateless; main thread (reads the application
// font).
#pragma once

#include <QFont>
#include <QString>

namespace tilebay {

enum class FontDesign : unsigned char { standard, monospaced };

// The family that carries Hangul in every design-system font.
inline constexpr const char* kHangulFamily = "NanumGothic";

QFont dsFont(int pixelSize, QFont::Weight weight = QFont::Normal,
             FontDesign design = FontDesign::standard);

}  // namespace tilebay
