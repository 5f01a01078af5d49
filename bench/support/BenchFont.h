// The fixed font the view benchmarks draw with: DejaVu Sans Mono, which
// setup installs, at a given pixel size, so figures compare across machines
// whatever their default fixed font. Header-only, for bench/ programs.
#pragma once

#include <QFont>
#include <QString>

namespace bench {

inline QFont benchFont(int pixelSize)
{
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(pixelSize);
    return font;
}

}  // namespace bench
