// Helpers for drawing tests: a cleared image in device pixels and pixel
// probes that report where they fail.
#pragma once

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

// Saves the image to /tmp for looking at, when CORVEL_SAVE_RENDERS is set.
inline void saveRender(const QImage& image, const char* name)
{
    if (!qEnvironmentVariableIsEmpty("CORVEL_SAVE_RENDERS")) image.save(QStringLiteral("/tmp/") + name);
}

}  // namespace corvel::qt::test
