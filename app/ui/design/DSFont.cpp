#include "app/ui/design/DSFont.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
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
    const QString primary = design == FontDesign::monospaced ? monospacedFamily(base) : QFontInfo(base).family();
    QFont font;
    font.setFamilies({primary, QString::fromLatin1(kHangulFamily)});
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    if (design == FontDesign::monospaced) font.setStyleHint(QFont::Monospace);
    return font;
}

bool isMonospaced(const QFont& font)
{
    const QFontMetricsF metrics(font);
    const qreal advance = metrics.horizontalAdvance(QLatin1Char('i'));
    for (char c : {'l', '.', 'W', 'M', '@'})
        if (metrics.horizontalAdvance(QLatin1Char(c)) != advance) return false;
    return advance > 0;
}

QString monospacedFamily(const QFont& preferred)
{
    const QString resolved = QFontInfo(preferred).family();
    if (isMonospaced(QFont(resolved))) return resolved;
    for (const QString& family : QFontDatabase::families(QFontDatabase::Latin)) {
        if (QFontDatabase::isFixedPitch(family) && isMonospaced(QFont(family))) return family;
    }
    return resolved;
}

}  // namespace tilebay
