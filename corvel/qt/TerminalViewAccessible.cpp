// The view's accessible text area, and the view's own notifications to
// assistive technology after a display update. See TerminalViewAccessible.h.
// The core headers come before any Qt header: Qt defines `emit` as a macro.
#include "corvel/terminal/Terminal.h"

#include "corvel/qt/TerminalViewAccessible.h"
#include "corvel/qt/TerminalView.h"

#include <algorithm>

namespace corvel {

namespace {

bool isBlank(QChar c) { return c == QLatin1Char(' '); }

QAccessibleInterface* makeInterface(const QString& className, QObject* object)
{
    if (className != QLatin1String("corvel::TerminalView") || !object) return nullptr;
    return new TerminalViewAccessible(static_cast<TerminalView*>(object));
}

}  // namespace

// ---- ScreenText ----

ScreenText::ScreenText(TerminalView& view)
{
    Terminal& terminal = view.getTerminal();
    // Reading a line the ring does not hold as an object yet makes it.
    Buffer& buffer = terminal.displayBuffer();
    firstRow_ = buffer.yDisp();
    cols_ = terminal.cols();
    const int64_t lineCount = buffer.lines().count();
    rows_.resize(static_cast<size_t>(std::max(terminal.rows(), 0)));
    for (size_t r = 0; r < rows_.size(); ++r) {
        Row& row = rows_[r];
        if (r > 0) text_.append(QLatin1Char('\n'));
        row.start = static_cast<int>(text_.size());
        row.columnStart.assign(static_cast<size_t>(cols_), 0);
        const int64_t absolute = firstRow_ + static_cast<int64_t>(r);
        const BufferLine* line = absolute < lineCount ? &buffer.lines()[absolute] : nullptr;
        QString rowText;
        for (int col = 0; col < cols_; ++col) {
            row.columnStart[static_cast<size_t>(col)] = static_cast<int>(rowText.size());
            if (!line || col >= line->count()) {
                rowText.append(QLatin1Char(' '));
                continue;
            }
            const CharData& cell = (*line)[col];
            // The spacer right of a wide character belongs to it.
            if (cell.width == 0 && cell.code == 0 && col > 0 && (*line)[col - 1].width == 2) {
                row.columnStart[static_cast<size_t>(col)] = row.columnStart[static_cast<size_t>(col - 1)];
                continue;
            }
            if (cell.code == 0) {
                rowText.append(QLatin1Char(' '));
            } else {
                const std::string character = terminal.character(cell.code);
                rowText.append(QString::fromUtf8(character.data(), static_cast<qsizetype>(character.size())));
            }
        }
        qsizetype kept = rowText.size();
        while (kept > 0 && isBlank(rowText.at(kept - 1))) --kept;
        row.length = static_cast<int>(kept);
        text_.append(rowText.left(kept));
    }
}

int ScreenText::offsetOf(Position position) const
{
    const int r = position.row - firstRow_;
    if (rows_.empty() || r < 0) return 0;
    if (r >= static_cast<int>(rows_.size())) return static_cast<int>(text_.size());
    const Row& row = rows_[static_cast<size_t>(r)];
    if (position.col <= 0) return row.start;
    if (position.col >= cols_) return row.start + row.length;
    return row.start + std::min(row.columnStart[static_cast<size_t>(position.col)], row.length);
}

Position ScreenText::positionAt(int offset) const
{
    if (rows_.empty()) return Position{0, firstRow_};
    offset = std::clamp(offset, 0, static_cast<int>(text_.size()));
    // The last row starting at or before the offset.
    size_t r = rows_.size() - 1;
    while (r > 0 && rows_[r].start > offset) --r;
    const Row& row = rows_[r];
    const int within = offset - row.start;
    // The first column whose cell starts at or after the offset; past the
    // row's kept text, the column after its last character.
    int col = 0;
    while (col < cols_ && row.columnStart[static_cast<size_t>(col)] < within) ++col;
    return Position{col, firstRow_ + static_cast<int>(r)};
}

std::pair<int, int> accessibleSelection(TerminalView& view, const ScreenText& screen)
{
    const SelectionService& selection = view.selection();
    if (!selection.active() || !selection.hasSelectionRange()) {
        const Buffer& buffer = view.getTerminal().displayBuffer();
        const int cursor = screen.offsetOf(Position{buffer.x(), buffer.yBase() + buffer.y()});
        return {cursor, cursor};
    }
    Position start = selection.start();
    Position end = selection.end();
    if (Position::compare(end, start) == Position::compareResult::before) std::swap(start, end);
    return {screen.offsetOf(start), screen.offsetOf(end)};
}

// ---- TerminalViewAccessible ----

TerminalViewAccessible::TerminalViewAccessible(TerminalView* view) : QAccessibleWidget(view, QAccessible::EditableText)
{
}

TerminalView& TerminalViewAccessible::view() const { return *static_cast<TerminalView*>(widget()); }

QAccessible::State TerminalViewAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.multiLine = true;
    state.editable = true;
    state.focusable = true;
    return state;
}

QString TerminalViewAccessible::text(QAccessible::Text kind) const
{
    if (kind == QAccessible::Value) return ScreenText(view()).text();
    return QAccessibleWidget::text(kind);
}

void* TerminalViewAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

void TerminalViewAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const
{
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || selectionCount() == 0) return;
    const ScreenText screen(view());
    std::tie(*startOffset, *endOffset) = accessibleSelection(view(), screen);
}

int TerminalViewAccessible::selectionCount() const
{
    const SelectionService& selection = view().selection();
    return selection.active() && selection.hasSelectionRange() ? 1 : 0;
}

void TerminalViewAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void TerminalViewAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0) view().selectNone();
}

void TerminalViewAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex != 0) return;
    const ScreenText screen(view());
    view().selection().setSelection(screen.positionAt(startOffset), screen.positionAt(endOffset));
}

int TerminalViewAccessible::cursorPosition() const
{
    const ScreenText screen(view());
    return accessibleSelection(view(), screen).second;
}

void TerminalViewAccessible::setCursorPosition(int) {}

QString TerminalViewAccessible::text(int startOffset, int endOffset) const
{
    const QString all = ScreenText(view()).text();
    startOffset = std::clamp(startOffset, 0, static_cast<int>(all.size()));
    endOffset = std::clamp(endOffset, startOffset, static_cast<int>(all.size()));
    return all.mid(startOffset, endOffset - startOffset);
}

int TerminalViewAccessible::characterCount() const { return static_cast<int>(ScreenText(view()).text().size()); }

QRect TerminalViewAccessible::characterRect(int offset) const
{
    const auto cell = view().cellDimension();
    if (!cell) return {};
    const Position at = ScreenText(view()).positionAt(offset);
    Buffer& buffer = view().getTerminal().displayBuffer();
    const bool wide = buffer.getCharAtBufferRelative(at).width == 2;
    const QRectF local(cell->width() * at.col, view().rowTop(at.row), cell->width() * (wide ? 2 : 1), cell->height());
    return QRect(view().mapToGlobal(local.topLeft().toPoint()), local.size().toSize());
}

int TerminalViewAccessible::offsetAtPoint(const QPoint& point) const
{
    const auto cell = view().cellDimension();
    const QPoint local = view().mapFromGlobal(point);
    if (!cell || !view().rect().contains(local)) return -1;
    const Buffer& buffer = view().getTerminal().displayBuffer();
    const Position at{static_cast<int>(local.x() / cell->width()),
                      buffer.yDisp() + static_cast<int>(local.y() / cell->height())};
    return ScreenText(view()).offsetOf(at);
}

void TerminalViewAccessible::scrollToSubstring(int, int) {}

QString TerminalViewAccessible::attributes(int offset, int* startOffset, int* endOffset) const
{
    // No text attributes are reported: one run over the whole text.
    (void)offset;
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}

// ---- the view's notifications ----

bool TerminalView::accessibilityListening() const { return QAccessible::isActive(); }

void TerminalView::postAccessibilityEvent(QAccessibleEvent& event) { QAccessible::updateAccessibility(&event); }

void TerminalView::notifyAccessibilityOfDisplay()
{
    if (!accessibilityListening()) return;
    const ScreenText screen(*this);
    QAccessibleValueChangeEvent value(this, screen.text());
    postAccessibilityEvent(value);
    const auto [start, end] = accessibleSelection(*this, screen);
    QAccessibleTextSelectionEvent selected(this, start, end);
    postAccessibilityEvent(selected);
}

void installTerminalViewAccessibility()
{
    static const bool installed = (QAccessible::installFactory(makeInterface), true);
    (void)installed;
}

}  // namespace corvel
