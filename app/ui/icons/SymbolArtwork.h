// The application's own line artwork for every symbol name its views use: one
// SVG document per name on a 24 by 24 grid, drawn in black (the caller's colour
// is applied when the artwork is rasterised). A few symbols also carry a cut-out
// document whose ink is removed from the artwork (a check mark punched out of a
// filled disc). Stateless; the table is constant.
#pragma once

#include <QByteArray>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace tilebay {

struct SymbolArtwork {
    QByteArray ink;
    QByteArray cutout;  // empty when nothing is punched out
};

std::optional<SymbolArtwork> symbolArtwork(QStringView name);

// Every symbol name with artwork, in a fixed order.
const QStringList& symbolNames();

}  // namespace tilebay
