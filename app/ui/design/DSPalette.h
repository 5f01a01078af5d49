// The light and dark palettes of the Fusion style that the application uses,
// and the step that puts one of them in force for an appearance choice. The
// accent orange is the highlight colour in both. Main thread.
#pragma once

#include "app/core/AppAppearance.h"

#include <QPalette>

class QApplication;

namespace tilebay {

QPalette lightPalette();  // window #ECECEC
QPalette darkPalette();   // window #323232

// True when a palette's window colour is dark (used to follow the system's
// own scheme: the palette the platform gave the application at start).
bool isDarkPalette(const QPalette& palette);

// The palette for an appearance: `system` follows the lightness of the given
// system palette, `light` and `dark` force theirs.
QPalette paletteFor(AppAppearance appearance, const QPalette& systemPalette);

// Switches the application to the Fusion style with the palette for the
// appearance; a change shows at once in every widget.
void applyAppearance(QApplication& app, AppAppearance appearance,
                     const QPalette& systemPalette);

}  // namespace tilebay
