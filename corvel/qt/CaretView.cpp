#include "corvel/qt/CaretView.h"

#include "corvel/terminal/Terminal.h"
#include "corvel/qt/CaretBlinker.h"
#include "corvel/qt/TerminalView.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPalette>

#include <cmath>

namespace corvel {

namespace {

// Opacity steps a blinking caret is repainted at; finer steps are not seen.
constexpr double kOpacityLevels = 32.0;

}  // namespace

CaretView::CaretView(const QRectF& frame, CursorStyle cursorStyle, TerminalView* terminal)
    : QWidget(terminal), terminal_(terminal), style_(cursorStyle),
      defaultCaretColor_(DeviceColor::fromQColor(QApplication::palette().color(QPalette::Highlight))),
      caretColor_(defaultCaretColor_)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setCaretFrame(frame);
    update();
}

CaretView::~CaretView()
{
    CaretBlinker::shared().remove(this);
}

void CaretView::setCaretFrame(const QRectF& frame)
{
    frame_ = frame;
    setGeometry(frame.toAlignedRect());
    update();
}

void CaretView::setFocused(bool value)
{
    focused_ = value;
    update();
}

void CaretView::setCaretColor(const DeviceColor& color)
{
    caretColor_ = color;
    update();
}

void CaretView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ApplicationPaletteChange && event->type() != QEvent::PaletteChange) return;
    const DeviceColor selection = DeviceColor::fromQColor(QApplication::palette().color(QPalette::Highlight));
    if (selection == defaultCaretColor_) return;
    if (caretColor_ == defaultCaretColor_) setCaretColor(selection);
    defaultCaretColor_ = selection;
}

void CaretView::setText(const CharData& ch)
{
    if (!terminal_) {
        text_ = QStringLiteral(" ");
        textFont_ = QFont();
        hasText_ = true;
        update();
        return;
    }
    const std::string character = terminal_->getTerminal().character(ch.code);
    text_ = (character.size() == 1 && character[0] == '\0') ? QString() : QString::fromStdString(character);
    const DeviceColor background = caretTextColor_.value_or(terminal_->nativeForegroundColor().value_or(DeviceColor{}));
    textFont_ = terminal_->getAttributedValue(ch.attribute, caretColor_, background).font;
    hasText_ = true;
    update();
}

void CaretView::updateAnimation(bool blink)
{
    CaretBlinker& blinker = CaretBlinker::shared();
    opacity_ = 1.0;
    animating_ = blink;
    if (blink) {
        blinkStart_ = blinker.now();
        blinker.add(this);
    } else {
        blinker.remove(this);
    }
    update();
}

void CaretView::updateCursorStyle()
{
    updateAnimation(isBlinking(style_));
    updateView();
}

void CaretView::blinkStep(Nanos now)
{
    if (!animating_) return;
    const double level = std::round(CaretBlinker::opacityAt(now - blinkStart_) * kOpacityLevels) / kOpacityLevels;
    if (level == opacity_) return;
    opacity_ = level;
    update();
}

void CaretView::paintEvent(QPaintEvent*)
{
    ++paintCount_;
    if (!hasText_ || !terminal_) return;
    QPainter painter(this);
    painter.setClipRect(rect());
    painter.setOpacity(opacity_);
    // The exact frame inside the whole pixels the widget covers.
    painter.translate(frame_.topLeft() - QPointF(geometry().topLeft()));
    const bool hasFocus = tracksFocus_ ? terminal_->hasFocus() : true;
    drawCursor(painter, hasFocus);
}

void CaretView::drawCursor(QPainter& painter, bool hasFocus)
{
    const QRectF bounds(QPointF(0, 0), frame_.size());
    const QColor fill = caretColor_.toQColor();
    painter.setClipRect(bounds, Qt::IntersectClip);
    if (!hasFocus) {
        // A 3-wide stroke centred on the edge: half of it shows inside.
        painter.setPen(QPen(fill, 3.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(bounds);
        return;
    }
    switch (style_) {
    case CursorStyle::blinkBlock:
    case CursorStyle::steadyBlock: painter.fillRect(bounds, fill); break;
    case CursorStyle::blinkUnderline:
    case CursorStyle::steadyUnderline:
        painter.fillRect(QRectF(0, bounds.height() - 2.0, bounds.width(), 2.0), fill);
        return;
    case CursorStyle::blinkBar:
    case CursorStyle::steadyBar: painter.fillRect(QRectF(0, 0, 2.0, bounds.height()), fill); return;
    }
    if (text_.isEmpty()) return;
    const DeviceColor textColor =
        caretTextColor_.value_or(terminal_->nativeForegroundColor().value_or(DeviceColor{}));
    const QFontMetricsF metrics(terminal_->font());
    const double baseline = bounds.height() - std::ceil(metrics.descent() + metrics.leading());
    painter.setFont(textFont_);
    painter.setPen(textColor.toQColor());
    painter.drawText(QPointF(0, baseline), text_);
}

}  // namespace corvel
