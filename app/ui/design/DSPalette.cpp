#include "app/ui/design/DSPalette.h"

#include "app/ui/design/DS.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

namespace tilebay {

namespace {

struct Tones {
    QColor window, text, base, alternateBase, button, light, mid, dark, shadow, tooltip;
};

QPalette build(const Tones& t)
{
    QPalette p;
    auto both = [&p](QPalette::ColorRole role, const QColor& c) {
        p.setColor(QPalette::Active, role, c);
        p.setColor(QPalette::Inactive, role, c);
    };
    both(QPalette::Window, t.window);
    both(QPalette::WindowText, t.text);
    both(QPalette::Base, t.base);
    both(QPalette::AlternateBase, t.alternateBase);
    both(QPalette::Button, t.button);
    both(QPalette::ButtonText, t.text);
    both(QPalette::Text, t.text);
    both(QPalette::BrightText, Qt::white);
    both(QPalette::Light, t.light);
    both(QPalette::Midlight, t.light);
    both(QPalette::Mid, t.mid);
    both(QPalette::Dark, t.dark);
    both(QPalette::Shadow, t.shadow);
    both(QPalette::Highlight, DS::orange());
    both(QPalette::HighlightedText, Qt::white);
    both(QPalette::Link, DS::orange());
    both(QPalette::LinkVisited, DS::orange().darker(120));
    both(QPalette::ToolTipBase, t.tooltip);
    both(QPalette::ToolTipText, t.text);
    QColor placeholder = t.text;
    placeholder.setAlphaF(0.5f);
    both(QPalette::PlaceholderText, placeholder);

    // Disabled: the same surfaces with text at 40 %.
    for (int r = 0; r < QPalette::NColorRoles; ++r) {
        const auto role = static_cast<QPalette::ColorRole>(r);
        p.setColor(QPalette::Disabled, role, p.color(QPalette::Active, role));
    }
    QColor dimmed = t.text;
    dimmed.setAlphaF(0.4f);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
                      QPalette::HighlightedText})
        p.setColor(QPalette::Disabled, role, dimmed);
    p.setColor(QPalette::Disabled, QPalette::Highlight, t.mid);
    return p;
}

}  // namespace

QPalette lightPalette()
{
    return build({QColor(0xEC, 0xEC, 0xEC), QColor(0x1D, 0x1D, 0x1F), QColor(0xFF, 0xFF, 0xFF),
                  QColor(0xF5, 0xF5, 0xF5), QColor(0xF7, 0xF7, 0xF7), QColor(0xFF, 0xFF, 0xFF),
                  QColor(0xB8, 0xB8, 0xB8), QColor(0x9A, 0x9A, 0x9A), QColor(0x6E, 0x6E, 0x6E),
                  QColor(0xFF, 0xFF, 0xF2)});
}

QPalette darkPalette()
{
    return build({QColor(0x32, 0x32, 0x32), QColor(0xE8, 0xE8, 0xE8), QColor(0x1E, 0x1E, 0x1E),
                  QColor(0x2A, 0x2A, 0x2A), QColor(0x45, 0x45, 0x45), QColor(0x5A, 0x5A, 0x5A),
                  QColor(0x28, 0x28, 0x28), QColor(0x1C, 0x1C, 0x1C), QColor(0x0A, 0x0A, 0x0A),
                  QColor(0x45, 0x45, 0x45)});
}

bool isDarkPalette(const QPalette& palette)
{
    return palette.color(QPalette::Active, QPalette::Window).lightnessF() < 0.5;
}

QPalette paletteFor(AppAppearance appearance, const QPalette& systemPalette)
{
    switch (appearance) {
    case AppAppearance::light: return lightPalette();
    case AppAppearance::dark: return darkPalette();
    case AppAppearance::system: break;
    }
    return isDarkPalette(systemPalette) ? darkPalette() : lightPalette();
}

void applyAppearance(QApplication& app, AppAppearance appearance, const QPalette& systemPalette)
{
    if (app.style()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0)
        app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    app.setPalette(paletteFor(appearance, systemPalette));
}

}  // namespace tilebay
