// Shared helpers of the user-interface tests: one QApplication for the test
// binary, in the Fusion style with DejaVu Sans pinned as the general font (the
// fonts the pixel and glyph checks are written for), a count of a widget's
// size changes, grabbing a widget at a given device pixel ratio, probing
// colours in logical coordinates, and contrast ratios read from pixels.
#pragma once

#include "tests/qt/PixelProbe.h"

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QResizeEvent>
#include <QStyleFactory>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tilebay::test {

inline QApplication& uiApp()
{
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return *app;
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setFont(QFont(QStringLiteral("DejaVu Sans")));
        return a;
    }();
    return *app;
}

// A base to list before a fixture that would make a plain application
// object: the user-interface one comes first.
struct UiAppFirst {
    UiAppFirst() { uiApp(); }
};

// Counts the times a widget's size changes.
class ResizeCounter : public QObject {
public:
    explicit ResizeCounter(QWidget* w) : last_(w->size()) { w->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Resize) {
            const QSize size = static_cast<QResizeEvent*>(e)->size();
            if (size != last_) ++count;
            last_ = size;
        }
        return QObject::eventFilter(o, e);
    }

private:
    QSize last_;
};

// The widget painted over its window background at `ratio` device pixels per
// logical pixel, as a scale-`ratio` screen would show it.
inline QImage grabAt(QWidget& widget, qreal ratio)
{
    QPixmap pm(widget.size() * ratio);
    pm.setDevicePixelRatio(ratio);
    pm.fill(Qt::transparent);
    widget.render(&pm, QPoint(), QRegion(),
                  QWidget::DrawWindowBackground | QWidget::DrawChildren);
    QImage image = pm.toImage().convertToFormat(QImage::Format_ARGB32);
    image.setDevicePixelRatio(ratio);
    return image;
}

// The colour of the device pixel under a logical point.
inline QColor probe(const QImage& image, qreal x, qreal y)
{
    const qreal r = image.devicePixelRatio();
    return image.pixelColor(static_cast<int>(x * r), static_cast<int>(y * r));
}

inline bool near(const QColor& a, const QColor& b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

// `top` drawn at `opacity` over an opaque `under`.
inline QColor over(const QColor& top, double opacity, const QColor& under)
{
    auto mix = [opacity](int t, int u) {
        return static_cast<int>(std::lround(t * opacity + u * (1 - opacity)));
    };
    return QColor(mix(top.red(), under.red()), mix(top.green(), under.green()),
                  mix(top.blue(), under.blue()));
}

// The relative luminance of an opaque sRGB colour, and the contrast ratio of
// two colours (1 to 21), as the accessibility guidelines define them.
inline double relativeLuminance(const QColor& c)
{
    auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

inline double contrastRatio(const QColor& a, const QColor& b)
{
    const double la = relativeLuminance(a), lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The strongest contrast that a device pixel inside `area` (logical
// coordinates) has with `ground`: for text, that of its fully covered pixels.
inline double strongestContrast(const QImage& image, const QRectF& area, const QColor& ground)
{
    const qreal r = image.devicePixelRatio();
    const QRect pixels = QRectF(area.topLeft() * r, area.size() * r).toAlignedRect().intersected(image.rect());
    double best = 1;
    for (int y = pixels.top(); y <= pixels.bottom(); ++y)
        for (int x = pixels.left(); x <= pixels.right(); ++x)
            best = std::max(best, contrastRatio(image.pixelColor(x, y), ground));
    return best;
}

// Grabs are saved for a look the way every drawing test saves its pictures:
// only into the folder TILEBAY_SCREENSHOT_DIR names.
inline bool shotsWanted()
{
    return corvel::qt::test::screenshotsWanted();
}

inline void saveShot(const QImage& image, const QString& name)
{
    corvel::qt::test::saveRender(image, name + QStringLiteral(".png"));
}

}  // namespace tilebay::test
