#include "app/ui/grid/AddTileView.h"

#include "app/store/SessionStore.h"
#include "app/ui/design/DS.h"
#include "app/ui/design/DSFont.h"
#include "app/ui/icons/SymbolIcons.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>

namespace tilebay {

namespace {
constexpr qreal kRadius = 14;
constexpr qreal kLine = 1.5;
constexpr qreal kDash = 6;  // drawn and left out, in pixels
}  // namespace

AddTileView::AddTileView(SessionStore& store, QWidget* parent) : QAbstractButton(parent), store_(store)
{
    setAcceptDrops(true);
    setFocusPolicy(Qt::TabFocus);
    setToolTip(QString());
    connect(this, &QAbstractButton::clicked, this, [this] { store_.promptNewTerminal(); });
}

QString AddTileView::caption() const
{
    return targeted_ ? QStringLiteral("여기에 놓기") : QStringLiteral("새 터미널");
}

void AddTileView::setTargeted(bool on)
{
    if (targeted_ == on) return;
    targeted_ = on;
    update();
}

void AddTileView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor outline = targeted_ ? DS::orange() : DS::separator(palette());
    const QColor ink = targeted_ ? DS::orange() : DS::secondaryText(palette());

    QPen pen(outline, kLine, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setDashPattern({kDash / kLine, kDash / kLine});  // in units of the line width
    pen.setMiterLimit(10);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QRectF inner = QRectF(rect()).adjusted(kLine / 2, kLine / 2, -kLine / 2, -kLine / 2);
    p.drawRoundedRect(inner, kRadius - kLine / 2, kRadius - kLine / 2);

    if (hasFocus()) {
        p.setPen(QPen(DS::orange(), 2));
        p.drawRoundedRect(QRectF(rect()).adjusted(3, 3, -3, -3), kRadius - 3, kRadius - 3);
    }

    const int symbol = symbolSize(SymbolScale::large);
    const QFont font = dsFont(13, QFont::Medium);
    const QFontMetrics fm(font);
    const int total = symbol + 8 + fm.height();
    const int top = (height() - total) / 2;
    SymbolIcons::draw(p, QRectF((width() - symbol) / 2, top, symbol, symbol), QStringLiteral("plus"), symbol, ink);
    p.setFont(font);
    p.setPen(ink);
    p.drawText(QRect(0, top + symbol + 8, width(), fm.height()), Qt::AlignHCenter | Qt::AlignTop, caption());
}

void AddTileView::dragEnterEvent(QDragEnterEvent* event)
{
    if (!event->mimeData()->hasText()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    setTargeted(true);
}

void AddTileView::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasText())
        event->acceptProposedAction();
    else
        event->ignore();
}

void AddTileView::dragLeaveEvent(QDragLeaveEvent* event)
{
    setTargeted(false);
    QAbstractButton::dragLeaveEvent(event);
}

void AddTileView::dropEvent(QDropEvent* event)
{
    setTargeted(false);
    if (!event->mimeData()->hasText()) {
        event->ignore();
        return;
    }
    const auto end = static_cast<qsizetype>(store_.cells().size());
    if (store_.handleDrop(event->mimeData()->text(), end))
        event->acceptProposedAction();
    else
        event->ignore();
}

}  // namespace tilebay
