#include "app/ui/design/DS.h"

namespace tilebay::DS {

const QColor& orange()
{
    static const QColor c(255, 112, 42);
    return c;
}

const QColor& bgLightOrange()
{
    static const QColor c(253, 244, 239);
    return c;
}

const QColor& statusRunning()
{
    static const QColor c(46, 204, 64);
    return c;
}

const QColor& statusIdle()
{
    static const QColor c(234, 179, 8);
    return c;
}

const QColor& statusWaiting()
{
    static const QColor c(226, 59, 46);
    return c;
}

const QColor& statusUnknown()
{
    static const QColor c(196, 196, 196);
    return c;
}

QColor windowBackground(const QPalette& palette)
{
    return palette.color(QPalette::Active, QPalette::Window);
}

QColor primaryText(const QPalette& palette)
{
    return palette.color(QPalette::Active, QPalette::WindowText);
}

QColor secondaryText(const QPalette& palette)
{
    QColor c = primaryText(palette);
    c.setAlphaF(c.alphaF() * 0.5f);
    return c;
}

QColor separator(const QPalette& palette)
{
    QColor c = primaryText(palette);
    c.setAlphaF(c.alphaF() * 0.1f);
    return c;
}

}  // namespace tilebay::DS
