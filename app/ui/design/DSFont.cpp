#include "app/ui/design/DSFont.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>

namespace tilebay {

QFont dsFont(int pixelSize, QFont::Weight weight, FontDesign design)
{
    QFont base = design == FontDesign::monospaced
        ? QFontDatabase::systemFont(QFontDatabase::FixedFont)
        : QGuiApplication::font();
    if (design == FontDesign::monospaced) base.setStyleHint(QFont::Monospace);
    // Resolve aliases such as "monospace" to a real family first: in a family
    // list an unknown first name would be skipped in favour of the Hangul font.
    const QString primary = QFontInfo(base).family();
    QFont font;
    font.setFamilies({primary, QString::fromLatin1(kHangulFamily)});
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    if (design == FontDesign::monospaced) font.setStyleHint(QFont::Monospace);
    return font;
}

}  // namespace tilebay
