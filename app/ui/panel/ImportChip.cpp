#include "app/ui/panel/ImportChip.h"

#include "app/ui/design/DS.h"
#include "app/ui/design/DSFont.h"
#include "app/ui/icons/SymbolIcons.h"
#include "app/ui/sheets/SheetParts.h"

#include <QApplication>
#include <QDrag>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

namespace tilebay {

namespace {

constexpr int kPadX = 10;
constexpr int kPadY = 9;
constexpr int kGap = 10;
constexpr int kLineGap = 2;
constexpr int kIcon = 15;
constexpr int kIdLength = 8;

}  // namespace

ImportChip::ImportChip(ITerm2SessionSnapshot session, QWidget* parent)
    : QWidget(parent),
      session_(std::move(session)),
      nameFont_(dsFont(12, QFont::Medium)),
      idFont_(dsFont(10, QFont::Normal, FontDesign::monospaced))
{
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setToolTip(displayName());
}

QString ImportChip::displayName() const
{
    return session_.name.isEmpty() ? QStringLiteral("(이름 없음)") : session_.name;
}

QString ImportChip::displayId() const
{
    return session_.guid.left(kIdLength) + QChar(0x2026);
}

QString ImportChip::dragPayload(const ITerm2SessionSnapshot& session)
{
    return QStringLiteral("EXT") + QChar(0x0001) + session.guid + QChar(0x0001) + session.name;
}

QSize ImportChip::sizeHint() const
{
    const int h = kPadY + QFontMetrics(nameFont_).height() + kLineGap + QFontMetrics(idFont_).height() + kPadY;
    return {200, h};
}

QSize ImportChip::minimumSizeHint() const
{
    return {2 * kPadX + 2 * kIcon + 2 * kGap + 4, sizeHint().height()};
}

void ImportChip::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    SheetParts::paintRowBackground(p, QRectF(rect()), palette(), hasFocus());
    const qreal midY = height() / 2.0;
    SymbolIcons::draw(p, QRectF(kPadX, midY - kIcon / 2.0, kIcon, kIcon), QStringLiteral("terminal"), kIcon,
                      DS::secondaryText(palette()));
    const int plusX = width() - kPadX - kIcon;
    SymbolIcons::draw(p, QRectF(plusX, midY - kIcon / 2.0, kIcon, kIcon), QStringLiteral("plus.circle"), kIcon,
                      DS::orange());

    const QFontMetrics nameMetrics(nameFont_);
    const QFontMetrics idMetrics(idFont_);
    const int textX = kPadX + kIcon + kGap;
    const int room = std::max(0, plusX - 4 - textX);
    const int top = (height() - (nameMetrics.height() + kLineGap + idMetrics.height())) / 2;
    p.setFont(nameFont_);
    p.setPen(DS::primaryText(palette()));
    p.drawText(QPointF(textX, top + nameMetrics.ascent()),
               nameMetrics.elidedText(displayName(), Qt::ElideRight, room));
    p.setFont(idFont_);
    p.setPen(DS::secondaryText(palette()));
    p.drawText(QPointF(textX, top + nameMetrics.height() + kLineGap + idMetrics.ascent()),
               idMetrics.elidedText(displayId(), Qt::ElideRight, room));
}

void ImportChip::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    pressedAt_ = event->position().toPoint();
    event->accept();
}

void ImportChip::mouseMoveEvent(QMouseEvent* event)
{
    if (!pressedAt_ || !(event->buttons() & Qt::LeftButton)) return;
    if ((event->position().toPoint() - *pressedAt_).manhattanLength() < QApplication::startDragDistance()) return;
    pressedAt_.reset();

    auto* data = new QMimeData;
    data->setText(dragPayload(session_));
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setPixmap(grab());
    drag->setHotSpot(event->position().toPoint());
    QPointer<ImportChip> self(this);
    emit dragStarted();
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
    // The owner keeps the chip alive until it hears dragEnded().
    if (self) emit dragEnded();
}

void ImportChip::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = pressedAt_.has_value() && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressedAt_.reset();
    if (click) emit activated();
}

void ImportChip::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        event->accept();
        emit activated();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ImportChip::focusInEvent(QFocusEvent* event)
{
    update();
    QWidget::focusInEvent(event);
}

void ImportChip::focusOutEvent(QFocusEvent* event)
{
    update();
    QWidget::focusOutEvent(event);
}

}  // namespace tilebay
