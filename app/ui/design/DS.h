// The design system's shared colours. The six accent and status colours are
// constants built once, on first use, and shared by every view; the colours that
// follow light and dark appearance (window background, text, secondary text,
// separator) are read from the palette the caller paints with, at paint time.
// Stateless; main thread (QColor itself is a plain value).
#pragma once

#include <QColor>
#include <QPalette>

namespace tilebay::DS {

// Accent colour: the window's tint, the fill of DSPrimaryButton, highlights.
const QColor& orange();          // sRGB 255, 112, 42
const QColor& bgLightOrange();   // sRGB 253, 244, 239
const QColor& statusRunning();   // sRGB 46, 204, 64
const QColor& statusIdle();      // sRGB 234, 179, 8
const QColor& statusWaiting();   // sRGB 226, 59, 46
const QColor& statusUnknown();   // sRGB 196, 196, 196

// Appearance-dependent colours, derived from the given palette's active group.
QColor windowBackground(const QPalette& palette);
QColor primaryText(const QPalette& palette);
QColor secondaryText(const QPalette& palette);  // the text colour at 50 % opacity
QColor separator(const QPalette& palette);      // the text colour at 10 % opacity

}  // namespace tilebay::DS
