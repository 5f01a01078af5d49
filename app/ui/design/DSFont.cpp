#include "app/ui/design/DSFont.h"

#include <QFontDatabase>
#include <QGuiApplication>

namespace tilebay {

QFont dsFont(int pixelSize, QFont::Weight weight, FontDesign design)
{
    const QString primary = design == FontDesign::monospaced
        ? QFontDatabase::systemFont(QFontDatabase::FixedFont).family()
        : QGuiApplication::font().family();
    QFont font;
    font.setFamilies({primary, QString::fromLatin1(kHangulFamily)});
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    if (design == FontDesign::monospaced) font.setStyleHint(QFont::Monospace);
    return font;
}

}  // namespace tilebay
