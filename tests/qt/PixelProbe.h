// Helpers for drawing tests: a cleared image in device pixels, pixel probes
// that report where they fail, and the one place pictures are saved for a look.
#pragma once

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QString>

#include <cstdlib>
#include <string>

namespace corvel::qt::test {

// An opaque image of `w` x `h` device pixels filled with `background`, with
// the given device pixel ratio.
inline QImage blankImage(int w, int h, QColor background = Qt::white, qreal dpr = 1.0)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    image.setDevicePixelRatio(dpr);
    return image;
}

inline bool sameRgb(QRgb a, QRgb b, int tolerance = 0)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

inline std::string describe(QRgb c)
{
    return QString::asprintf("#%02x%02x%02x", qRed(c), qGreen(c), qBlue(c)).toStdString();
}

// Pictures the view, renderer and application tests take for a person to
// look at. They are written only when TILEBAY_SCREENSHOT_DIR names a folder
// (made when missing; the caller picks a fresh one per run), so that test
// runs write nothing of the kind by default and two runs never share names.
inline bool screenshotsWanted()
{
    return !qEnvironmentVariableIsEmpty("TILEBAY_SCREENSHOT_DIR");
}

// Saves the image as `name` (with its extension) in the screenshot folder
// when one is named; returns the path written, or an empty string.
inline QString saveRender(const QImage& image, const QString& name)
{
    if (!screenshotsWanted()) return {};
    const QString dir = qEnvironmentVariable("TILEBAY_SCREENSHOT_DIR");
    QDir().mkpath(dir);
    const QString path = dir + QLatin1Char('/') + name;
    return image.save(path) ? path : QString();
}

}  // namespace corvel::qt::test
