#include "app/ui/toolbar/StatusLegend.h"

#include "app/ui/design/DS.h"
#include "app/ui/design/DSFont.h"
#include "app/ui/design/StatusLook.h"
#include "app/ui/icons/SymbolIcons.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace tilebay {

namespace {
constexpr int kIconTagGap = 4;
}

StatusLegend::StatusLegend(bool compact, std::vector<TerminalStatus> items, QWidget* parent)
    : QWidget(parent), compact_(compact), items_(std::move(items))
{
    setFont(dsFont(11, QFont::Medium));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void StatusLegend::setCompact(bool compact)
{
    if (compact_ == compact) return;
    compact_ = compact;
    updateGeometry();
    update();
}

int StatusLegend::itemWidth(TerminalStatus status, bool compact) const
{
    const int icon = symbolSize(SymbolScale::small);
    if (compact) return icon;
    return icon + kIconTagGap + QFontMetrics(font()).horizontalAdvance(statusLook(status).tag);
}

std::vector<QRect> StatusLegend::itemRects() const
{
    std::vector<QRect> rects;
    const int spacing = compact_ ? 6 : 10;
    const int h = sizeHint().height();
    const int top = (height() - h) / 2;
    int x = 0;
    for (TerminalStatus s : items_) {
        const int w = itemWidth(s, compact_);
        rects.emplace_back(x, top, w, h);
        x += w + spacing;
    }
    return rects;
}

int StatusLegend::widthFor(bool compact) const
{
    const int spacing = compact ? 6 : 10;
    int width = 0;
    for (TerminalStatus s : items_) width += itemWidth(s, compact);
    if (!items_.empty()) width += spacing * static_cast<int>(items_.size() - 1);
    return width;
}

QSize StatusLegend::sizeHint() const
{
    const int width = widthFor(compact_);
    const int height = std::max(symbolSize(SymbolScale::small),
                                compact_ ? 0 : QFontMetrics(font()).height());
    return {width, height};
}

void StatusLegend::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(font());
    const QFontMetrics fm(font());
    const int icon = symbolSize(SymbolScale::small);
    const auto rects = itemRects();
    for (size_t i = 0; i < items_.size(); ++i) {
        const StatusLook look = statusLook(items_[i]);
        const QRect& r = rects[i];
        const qreal midY = r.center().y() + 0.5;
        SymbolIcons::draw(p, QRectF(r.left(), midY - icon / 2.0, icon, icon),
                          QString::fromLatin1(look.symbol), icon, look.colour);
        if (compact_) continue;
        p.setPen(DS::secondaryText(palette()));
        const qreal baseline = std::round(midY - fm.height() / 2.0) + fm.ascent();
        p.drawText(QPointF(r.left() + icon + kIconTagGap, baseline), look.tag);
    }
}

}  // namespace tilebay
