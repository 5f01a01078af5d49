// Drawing of the line-ring overlay.
#include "corvel/qt/TerminalDebugView.h"

#include "corvel/screen/Buffer.h"
#include "corvel/terminal/Terminal.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace corvel {

namespace {

constexpr double kFontPoints = 8;

QString threeDigits(int64_t value) { return QStringLiteral("%1").arg(value, 3, 10, QLatin1Char('0')); }

}  // namespace

QFont TerminalDebugView::pickFont(const QStringList& families)
{
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : families) {
        if (installed.contains(family, Qt::CaseInsensitive)) {
            QFont font(family);
            font.setPointSizeF(kFontPoints);
            return font;
        }
    }
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(kFontPoints);
    return font;
}

TerminalDebugView::TerminalDebugView(Terminal& terminal, QWidget* parent)
    : QWidget(parent),
      terminal_(terminal),
      font_(pickFont({QStringLiteral("Lucida Sans Typewriter"), QStringLiteral("Courier")})),
      dbg_(new QLabel(QStringLiteral("WAITING"), this))
{
    height_ = QFontMetricsF(font_).height();
    dbg_->setFont(font_);
    dbg_->setGeometry(0, std::max(height() - 8 - 14, 0), width(), 14);
}

QString TerminalDebugView::statusText() const
{
    Buffer& buffer = terminal_.buffer();
    const auto& lines = buffer.lines();
    return QStringLiteral("x: %1 y: %2 yDisp: %3 yBase: %4 clc: %5 startIndex: %6")
        .arg(buffer.x())
        .arg(buffer.y())
        .arg(buffer.yDisp())
        .arg(buffer.yBase())
        .arg(static_cast<qlonglong>(lines.getArray().size()))
        .arg(static_cast<qlonglong>(lines.getStartIndex()));
}

void TerminalDebugView::refresh()
{
    dbg_->setText(statusText());
    update();
}

QString TerminalDebugView::characters(const BufferLine& line, int cols) const
{
    QString text;
    const int n = std::min(cols, line.count());
    for (int col = 0; col < n; ++col) {
        const int32_t code = line[col].code;
        text += code == 0 ? QStringLiteral(" ") : QString::fromStdString(terminal_.character(code));
    }
    return text;
}

TerminalDebugView::DebugLine TerminalDebugView::getDebugString(const BufferLine* line, int cols,
                                                               const QString& prefix, bool hilight) const
{
    if (hilight) std::puts("here");
    DebugLine result{prefix, {}, hilight};
    if (!line) {
        result.text = QStringLiteral("<empty>");
    } else if (cols > 0) {
        result.text = characters(*line, cols);
    }
    return result;
}

std::pair<TerminalDebugView::DebugLine, TerminalDebugView::DebugLine> TerminalDebugView::linesFor(int i) const
{
    Buffer& buffer = terminal_.buffer();
    auto& lines = buffer.lines();
    const auto ringSlots = lines.getArray();
    const int cols = terminal_.cols();
    const auto slotCount = static_cast<int64_t>(ringSlots.size());
    auto markers = [&](int index) {
        return QString(index == buffer.yDisp() ? QLatin1Char('D') : QLatin1Char(' ')) +
               QString(index == buffer.yBase() ? QLatin1Char('B') : QLatin1Char(' '));
    };
    const int64_t holder = slotCount > 0 ? (lines.getStartIndex() + i) % slotCount : 0;
    const BufferLine* stored = i < slotCount ? ringSlots[static_cast<size_t>(i)] : nullptr;
    const BufferLine* logical = i < lines.count() ? &lines[i] : nullptr;
    return {getDebugString(stored, cols, "[" + threeDigits(i) + ":" + threeDigits(holder) + "]" + markers(i), false),
            getDebugString(logical, cols, "[" + threeDigits(i) + "]" + markers(i), false)};
}

void TerminalDebugView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setFont(font_);
    const QFontMetricsF metrics(font_);
    const int capacity = static_cast<int>(terminal_.buffer().lines().maxLength());
    const double h = std::max(height_, 1.0);
    // Line i sits at the top edge h * (i + 1): only the lines in the dirty
    // rectangle are drawn.
    const int first = std::max(static_cast<int>(std::floor(event->rect().top() / h)) - 1, 0);
    const int last = std::min(static_cast<int>(std::ceil(event->rect().bottom() / h)), capacity - 1);
    auto drawPart = [&](double x, double top, const DebugLine& part) {
        const double baseline = top + metrics.ascent();
        const double prefixWidth = metrics.horizontalAdvance(part.prefix);
        if (part.hilight) {
            painter.fillRect(QRectF(x, top, prefixWidth, h), Qt::black);
            painter.setPen(Qt::red);
        } else {
            painter.setPen(Qt::black);
        }
        painter.drawText(QPointF(x, baseline), part.prefix);
        painter.setPen(Qt::black);
        painter.drawText(QPointF(x + prefixWidth, baseline), part.text);
    };
    for (int i = first; i <= last; ++i) {
        const double top = h * (i + 1);
        const auto [stored, logical] = linesFor(i);
        drawPart(0, top, stored);
        drawPart(width() / 2.0, top, logical);
    }
}

void TerminalDebugView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    dbg_->setGeometry(0, std::max(height() - 8 - 14, 0), width(), 14);
}

}  // namespace corvel
