#include "app/ui/grid/TilePreview.h"

#include "app/ui/design/DS.h"
#include "app/ui/design/DSFont.h"
#include "app/ui/icons/SymbolIcons.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace tilebay {

namespace {

constexpr int kInset = 6;

// Black at 90 % over the window background the tile stands on.
QColor ground(const QPalette& palette)
{
    const QColor under = DS::windowBackground(palette);
    auto mix = [](int u) { return static_cast<int>(u * 0.1 + 0.5); };
    return QColor(mix(under.red()), mix(under.green()), mix(under.blue()));
}

QColor white(double alpha)
{
    QColor c(Qt::white);
    c.setAlphaF(static_cast<float>(alpha));
    return c;
}

}  // namespace

TilePreview::TilePreview(AdapterKind kind, QWidget* parent) : QWidget(parent), kind_(kind)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFont(dsFont(10, QFont::Normal, FontDesign::monospaced));
}

void TilePreview::setText(const QString& text)
{
    if (text_ == text) return;
    text_ = text;
    update();
}

QString TilePreview::emptySymbol() const
{
    return kind_ == AdapterKind::iterm2 ? QStringLiteral("rectangle.on.rectangle") : QStringLiteral("terminal");
}

QString TilePreview::emptyCaption() const
{
    return kind_ == AdapterKind::iterm2 ? QStringLiteral("iTerm2 흡수 대기…") : QStringLiteral("미리보기 없음");
}

QStringList TilePreview::shownLines() const
{
    if (text_.isEmpty()) return {};
    QStringList lines = text_.split(QLatin1Char('\n'));
    // A final line break ends the last line; it starts no empty one.
    if (lines.size() > 1 && lines.back().isEmpty()) lines.removeLast();
    const int lineHeight = std::max(QFontMetrics(font()).lineSpacing(), 1);
    const int fit = std::clamp((height() - 2 * kInset) / lineHeight, 1, maxLines);
    if (lines.size() <= fit) return lines;
    QStringList shown = lines.mid(lines.size() - (fit - 1));
    shown.prepend(QStringLiteral("…"));
    return shown;
}

void TilePreview::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), ground(palette()));
    if (!text_.isEmpty()) {
        p.setFont(font());
        p.setPen(white(0.82));
        const QFontMetrics fm(font());
        int y = kInset + fm.ascent();
        p.setClipRect(rect().adjusted(kInset, kInset, -kInset, -kInset));
        for (const QString& line : shownLines()) {
            p.drawText(kInset, y, line);
            y += fm.lineSpacing();
        }
        return;
    }
    // The ground is always dark, so the secondary tone is the dark one.
    const QColor secondary = white(0.5);
    const int symbol = symbolSize(SymbolScale::large);
    const QFont caption = dsFont(10, QFont::Normal, FontDesign::monospaced);
    const QFontMetrics fm(caption);
    const int total = symbol + 6 + fm.height();
    const int top = (height() - total) / 2;
    SymbolIcons::draw(p, QRectF((width() - symbol) / 2, top, symbol, symbol), emptySymbol(), symbol, secondary);
    p.setFont(caption);
    p.setPen(secondary);
    p.drawText(QRect(0, top + symbol + 6, width(), fm.height()), Qt::AlignHCenter | Qt::AlignTop, emptyCaption());
}

ResizePlaceholder::ResizePlaceholder(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFont(dsFont(12, QFont::Medium, FontDesign::monospaced));
}

void ResizePlaceholder::setLabel(const QString& label)
{
    if (label_ == label) return;
    label_ = label;
    update();
}

void ResizePlaceholder::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), ground(palette()));
    p.setFont(font());
    p.setPen(white(0.45));
    const QFontMetrics fm(font());
    p.drawText(rect(), Qt::AlignCenter, fm.elidedText(label_, Qt::ElideRight, width()));
}

}  // namespace tilebay
