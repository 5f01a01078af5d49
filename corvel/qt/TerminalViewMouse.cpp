// The pointer in TerminalView: primary-button clicks, drags and motion go to
// the program while it asked for mouse events (MouseReporter decides which),
// and select text otherwise (one click clears or, with Shift, extends; two
// select a word; three the row; a drag extends from the pressed cell). The
// wheel and the scroll bar only scroll. Links under the pointer are
// underlined in the hover modes, previewed and remembered while Ctrl (the
// command modifier) is held, and opened on a Ctrl+click through the view
// delegate, subject to the link opening rules.
//
// Pointer motion without a button reaches the view only while it tracks:
// while the program asked for every motion, Ctrl is held, or links are
// highlighted on hover. The handlers of one event share one CellLinkLookup,
// so the underline, the report and the click look the link up once. GUI
// thread only.
#include "corvel/qt/TerminalView.h"

#include "corvel/platform/Log.h"
#include "corvel/qt/CellLinkLookup.h"
#include "corvel/qt/TerminalDebugView.h"
#include "corvel/terminal/LinkOpenPolicy.h"

#include <QAbstractSlider>
#include <QCursor>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyleHints>
#include <QUrl>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <set>

namespace corvel {

namespace {

// Sees the view's own events before the view does and lets them through:
// the Ctrl key for link previews, size changes for the floating children.
class ViewEventWatcher final : public QObject {
public:
    ViewEventWatcher(QObject* parent, std::function<void(QEvent*)> watch)
        : QObject(parent), watch_(std::move(watch))
    {
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        watch_(event);
        return false;
    }

private:
    std::function<void(QEvent*)> watch_;
};

MouseReporter::Modifiers modifiersOf(Qt::KeyboardModifiers modifiers)
{
    return {modifiers.testFlag(Qt::ShiftModifier), modifiers.testFlag(Qt::AltModifier),
            modifiers.testFlag(Qt::ControlModifier)};
}

}  // namespace

void TerminalView::setupInteraction()
{
    mouseReporter_ = std::make_unique<MouseReporter>(*terminal_);
    linkOpener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    connect(scroller_, &QAbstractSlider::actionTriggered, this, [this](int action) { scrollerActivated(action); });
    commandKeyWatcher_ = new ViewEventWatcher(this, [this](QEvent* event) {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Control && !key->isAutoRepeat())
                commandModifierChanged(event->type() == QEvent::KeyPress);
            break;
        }
        case QEvent::Resize:
            placeFindBar();
            if (debug_) debug_->setGeometry(rect());
            break;
        default:
            break;
        }
    });
    installEventFilter(commandKeyWatcher_);
    setTracking(linkHighlightMode == qt::LinkHighlightMode::hover);
    setupCommands();
}

// ---- hits ----

MouseReporter::Hit TerminalView::calculateMouseHit(QPointF point)
{
    const QSizeF cell = cellDimension_.value_or(QSizeF(1, 1));
    Buffer& buffer = terminal_->displayBuffer();
    return MouseReporter::hitTest(point.x(), point.y(), cell.width(), cell.height(), width(), height(),
                                  terminal_->cols(), buffer.yDisp(), buffer.lines().count());
}

// ---- buttons ----

void TerminalView::mousePressEvent(QMouseEvent* event)
{
    handlePress(event, false);
}

void TerminalView::mouseDoubleClickEvent(QMouseEvent* event)
{
    handlePress(event, true);
}

void TerminalView::handlePress(QMouseEvent* event, bool doubleClick)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    event->accept();
    const MouseReporter::Hit hit = calculateMouseHit(event->position());

    // Qt marks the second click of a pair; a third one within the interval
    // on the same cell continues the series.
    const uint64_t now = event->timestamp();
    const auto interval = static_cast<uint64_t>(QGuiApplication::styleHints()->mouseDoubleClickInterval());
    const bool continues = clickCount_ >= 2 && now >= lastPressTime_ && now - lastPressTime_ <= interval &&
                           hit.grid == lastPressCell_;
    clickCount_ = doubleClick ? 2 : (continues ? clickCount_ + 1 : 1);
    lastPressTime_ = now;
    lastPressCell_ = hit.grid;

    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    bool opensLink = false;
    if (ctrl) {
        CellLinkLookup link(*terminal_, hit.grid);
        updateHoverLink(link, true);
        opensLink = linkForClick(link, true).has_value();
    }
    mouseReporter_->allowMouseReporting = allowMouseReporting;
    if (mouseReporter_->press(hit, modifiersOf(event->modifiers()), opensLink)) return;
    mouseDown(hit, clickCount_, event->modifiers().testFlag(Qt::ShiftModifier));
}

void TerminalView::mouseDown(const MouseReporter::Hit& hit, int clickCount, bool shift)
{
    dragAnchor_.reset();
    if (clickCount == 2) {
        selection_->selectWordOrExpression(hit.grid, terminal_->displayBuffer());
    } else if (clickCount == 1) {
        if (selection_->active() && shift) {
            selection_->shiftExtend(hit.grid);
        } else {
            if (selection_->active()) selection_->setActive(false);
            dragAnchor_ = hit.grid;
        }
    } else {
        selection_->select(hit.grid.row);
    }
    update();
}

void TerminalView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    dragAnchor_.reset();
    const MouseReporter::Hit hit = calculateMouseHit(event->position());
    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    CellLinkLookup lookup(*terminal_, hit.grid);
    updateHoverLink(lookup, commandActive || ctrl);
    if (auto link = linkForClick(lookup, ctrl)) {
        if (auto delegate = terminalDelegate_.lock()) delegate->requestOpenLink(*this, link->first, link->second);
        return;
    }
    mouseReporter_->allowMouseReporting = allowMouseReporting;
    mouseReporter_->release(hit, modifiersOf(event->modifiers()));
}

void TerminalView::mouseMoveEvent(QMouseEvent* event)
{
    const MouseReporter::Hit hit = calculateMouseHit(event->position());
    const MouseReporter::Modifiers modifiers = modifiersOf(event->modifiers());
    mouseReporter_->allowMouseReporting = allowMouseReporting;
    if (event->buttons() != Qt::NoButton) {
        if (!event->buttons().testFlag(Qt::LeftButton)) return;
        if (mouseReporter_->drag(hit, modifiers)) return;
        if (!selection_->active()) {
            // The selection starts where the button went down, not where the
            // first motion was noticed.
            const Position start = dragAnchor_.value_or(hit.grid);
            selection_->setSoftStart(start);
            selection_->startSelection();
            if (start != hit.grid) selection_->dragExtend(hit.grid);
        } else {
            selection_->dragExtend(hit.grid);
        }
        dragAnchor_.reset();
        update();
        return;
    }
    if (!tracking_) return;
    CellLinkLookup link(*terminal_, hit.grid);
    if (commandActive) {
        if (auto payload = payloadString(hit.grid)) previewUrl(*payload);
        reportLink(link);
    }
    updateHoverLink(link, std::nullopt);
    mouseReporter_->move(hit, modifiers);
}

void TerminalView::leaveEvent(QEvent* event)
{
    turnOffUrlPreview();
    if (linkHighlightMode == qt::LinkHighlightMode::hover ||
        linkHighlightMode == qt::LinkHighlightMode::hoverWithModifier) {
        clearLinkHighlight();
    }
    QWidget::leaveEvent(event);
}

// ---- wheel and scroll bar ----

void TerminalView::wheelEvent(QWheelEvent* event)
{
    event->accept();
    const double deltaY = event->angleDelta().y() / 120.0;
    const int lines = MouseReporter::wheelLines(deltaY, terminal_->rows());
    if (lines == 0) return;
    if (deltaY > 0) {
        scrollTo(std::max(terminal_->displayBuffer().yDisp() - lines, 0), true);
    } else {
        scrollDown(lines);
    }
}

void TerminalView::scrollerActivated(int action)
{
    const int maximum = std::max(scroller_->maximum(), 1);
    auto keepPosition = [this] { scroller_->setSliderPosition(scroller_->value()); };
    switch (action) {
    case QAbstractSlider::SliderMove:
        scrollToPosition(double(scroller_->sliderPosition()) / maximum);
        break;
    case QAbstractSlider::SliderPageStepSub:
        pageUp();
        scroller_->setSliderPosition(static_cast<int>(std::lround(scrollPosition() * maximum)));
        break;
    case QAbstractSlider::SliderPageStepAdd:
        pageDown();
        scroller_->setSliderPosition(static_cast<int>(std::lround(scrollPosition() * maximum)));
        break;
    case QAbstractSlider::SliderNoAction:
        log::write("Scroller .noPart clicked");
        keepPosition();
        break;
    case QAbstractSlider::SliderSingleStepSub:
        log::write("Scroller .decrementLine clicked");
        keepPosition();
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        log::write("Scroller .incrementLine clicked");
        keepPosition();
        break;
    default:
        log::write("Scroller: New value introduced");
        keepPosition();
        break;
    }
}

// ---- links ----

std::optional<std::string> TerminalView::payloadString(Position at)
{
    Buffer& buffer = terminal_->displayBuffer();
    if (at.row < 0 || at.row >= buffer.lines().count()) return std::nullopt;
    const BufferLine& line = buffer.lines()[at.row];
    const int last = std::min(line.count(), terminal_->cols()) - 1;
    if (last < 0) return std::nullopt;
    const int col = std::clamp(at.col, 0, last);
    auto text = [](const CharData& cell) -> std::optional<std::string> {
        const std::any value = cell.getPayload();
        if (const auto* string = std::any_cast<std::string>(&value)) return *string;
        return std::nullopt;
    };
    if (auto payload = text(line[col])) return payload;
    // The right half of a wide character stands for the character.
    if (line[col].code == 0 && col > 0 && line[col - 1].width == 2) return text(line[col - 1]);
    return std::nullopt;
}

std::optional<std::pair<std::string, std::map<std::string, std::string>>>
TerminalView::linkForClick(Position at, bool hasCommandModifier)
{
    CellLinkLookup link(*terminal_, at);
    return linkForClick(link, hasCommandModifier);
}

std::optional<std::pair<std::string, std::map<std::string, std::string>>>
TerminalView::linkForClick(CellLinkLookup& link, bool hasCommandModifier)
{
    const std::optional<LinkMatch>& match = link.match(true);
    if (!match) return std::nullopt;
    const bool hovered = linkHighlightRange && *linkHighlightRange == match->rowRanges;
    switch (linkHighlightMode) {
    case qt::LinkHighlightMode::hover:
        if (!hovered) return std::nullopt;
        break;
    case qt::LinkHighlightMode::hoverWithModifier:
        if (!hasCommandModifier || !hovered) return std::nullopt;
        break;
    case qt::LinkHighlightMode::always:
        if (!match->isExplicit) return std::nullopt;
        break;
    case qt::LinkHighlightMode::alwaysWithModifier:
        if (!match->isExplicit || !hasCommandModifier) return std::nullopt;
        break;
    }
    if (match->isExplicit) {
        if (auto payload = payloadString(link.cell())) {
            if (auto parsed = urlAndParamsFrom(*payload)) return parsed;
        }
    }
    return std::pair(match->text, std::map<std::string, std::string>{});
}

void TerminalView::invalidateLinkHighlight(const std::optional<std::vector<LinkMatch::RowRange>>& oldRange,
                                           const std::optional<std::vector<LinkMatch::RowRange>>& newRange)
{
    std::set<int> rows;
    for (const auto* ranges : {&oldRange, &newRange}) {
        if (!*ranges) continue;
        for (const auto& range : **ranges) rows.insert(range.row);
    }
    Buffer& buffer = terminal_->displayBuffer();
    for (const int row : rows) {
        const int64_t screenRow = int64_t(row) - buffer.yDisp();
        if (screenRow >= 0 && screenRow < terminal_->rows()) terminal_->updateRange(buffer, screenRow, false);
    }
}

void TerminalView::clearLinkHighlight()
{
    if (!linkHighlightRange) return;
    auto old = std::move(linkHighlightRange);
    linkHighlightRange.reset();
    invalidateLinkHighlight(old, std::nullopt);
    queuePendingDisplay();
}

void TerminalView::updateHoverLink(Position at, std::optional<bool> commandOverride)
{
    CellLinkLookup link(*terminal_, at);
    updateHoverLink(link, commandOverride);
}

void TerminalView::updateHoverLink(CellLinkLookup& link, std::optional<bool> commandOverride)
{
    if (linkHighlightMode != qt::LinkHighlightMode::hover &&
        linkHighlightMode != qt::LinkHighlightMode::hoverWithModifier) {
        clearLinkHighlight();
        return;
    }
    const bool command = commandOverride.value_or(commandActive);
    if (linkHighlightMode == qt::LinkHighlightMode::hoverWithModifier && !command) {
        clearLinkHighlight();
        return;
    }
    const std::optional<LinkMatch>& match = link.match(true);
    if (!match) {
        clearLinkHighlight();
        return;
    }
    if (linkHighlightRange && *linkHighlightRange == match->rowRanges) return;
    auto old = std::move(linkHighlightRange);
    linkHighlightRange = match->rowRanges;
    invalidateLinkHighlight(old, linkHighlightRange);
    queuePendingDisplay();
}

void TerminalView::reportLink(Position at)
{
    CellLinkLookup link(*terminal_, at);
    reportLink(link);
}

void TerminalView::reportLink(CellLinkLookup& link)
{
    if (linkReporting == LinkReporting::none) {
        lastReportedLink_.reset();
        return;
    }
    const std::optional<LinkMatch>& match = link.match(linkReporting == LinkReporting::implicitLinks);
    lastReportedLink_ = match ? std::optional(match->text) : std::nullopt;
}

QFont TerminalView::tryUrlFont()
{
    const QStringList installed = QFontDatabase::families();
    for (const char* family : {"Optima", "Helvetica", "Helvetica Neue"}) {
        if (installed.contains(QString::fromLatin1(family))) return QFont(QString::fromLatin1(family), 12);
    }
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(12);
    return font;
}

void TerminalView::previewUrl(const std::string& payload)
{
    const auto parsed = urlAndParamsFrom(payload);
    if (!parsed) return;
    const QString text = QString::fromStdString(parsed->first);
    if (!urlPreview_) {
        urlPreview_ = new QLabel(this);
        urlPreview_->setFont(tryUrlFont());
        urlPreview_->setAutoFillBackground(true);
        QPalette palette = urlPreview_->palette();
        // Inverted: the text colour as the ground.
        palette.setColor(QPalette::Window, nativeFg_.value_or(DeviceColor()).toQColor());
        palette.setColor(QPalette::WindowText, nativeBg_.value_or(DeviceColor()).toQColor());
        urlPreview_->setPalette(palette);
    }
    urlPreview_->setText(text);
    urlPreview_->adjustSize();
    // The view's origin in the bottom-up coordinates links are previewed in:
    // the bottom-left corner, away from the top rows the pointer is usually on.
    urlPreview_->move(0, height() - urlPreview_->height());
    urlPreview_->show();
    urlPreview_->raise();
}

void TerminalView::turnOffUrlPreview()
{
    if (!commandActive) return;
    commandActive = false;
    deregisterTrackingInterest();
    delete urlPreview_;
    urlPreview_ = nullptr;
    lastReportedLink_.reset();
    if (linkHighlightMode == qt::LinkHighlightMode::hoverWithModifier) clearLinkHighlight();
    if (linkHighlightMode == qt::LinkHighlightMode::alwaysWithModifier) {
        markVisibleRowsDirty();
        queuePendingDisplay();
    }
}

void TerminalView::commandModifierChanged(bool held)
{
    if (!held) {
        turnOffUrlPreview();
        return;
    }
    commandActive = true;
    setTracking(true);
    // Only a pointer over the view names a cell; elsewhere a clamped cell
    // at the edge would light up a link the pointer is not on.
    const QPoint pointer = mapFromGlobal(QCursor::pos());
    if (rect().contains(pointer)) {
        const MouseReporter::Hit hit = calculateMouseHit(pointer);
        CellLinkLookup link(*terminal_, hit.grid);
        if (auto payload = payloadString(hit.grid)) previewUrl(*payload);
        reportLink(link);
        updateHoverLink(link, std::nullopt);
    }
    if (linkHighlightMode == qt::LinkHighlightMode::alwaysWithModifier) {
        markVisibleRowsDirty();
        queuePendingDisplay();
    }
}

bool TerminalView::openLink(const std::string& link)
{
    const auto decision = linkpolicy::decide(link);
    // The diagnostic names the link, text from the program's output: the
    // log writes its control characters escaped.
    if (!decision.open) {
        log::write(decision.diagnostic);
        return false;
    }
    const QUrl url(QString::fromStdString(link));
    if (!url.isValid()) {
        log::write("Not opening link: not a valid URL");
        return false;
    }
    return linkOpener ? linkOpener(url) : QDesktopServices::openUrl(url);
}

// ---- tracking ----

void TerminalView::setTracking(bool on)
{
    tracking_ = on;
    setMouseTracking(on);
}

void TerminalView::deregisterTrackingInterest()
{
    if (terminal_->mouseMode() != Terminal::MouseMode::anyEvent && !commandActive &&
        linkHighlightMode != qt::LinkHighlightMode::hover) {
        setTracking(false);
    }
}

void TerminalView::setLinkHighlightMode(qt::LinkHighlightMode mode)
{
    linkHighlightMode = mode;
    linkHighlightRange.reset();
    if (terminal_->mouseMode() != Terminal::MouseMode::anyEvent && !commandActive &&
        mode != qt::LinkHighlightMode::hover) {
        deregisterTrackingInterest();
    } else {
        setTracking(true);
    }
    markVisibleRowsDirty();
    queuePendingDisplay();
}

void TerminalView::markVisibleRowsDirty()
{
    Buffer& buffer = terminal_->displayBuffer();
    terminal_->updateRange(buffer, 0, false);
    terminal_->updateRange(buffer, terminal_->rows() - 1, false);
}

// ---- host callbacks of the pointer ----
// The terminal calls some of these from its own construction, before the
// view has finished setting up; they wait for setupInteraction.

void TerminalView::mouseModeChanged(Terminal&)
{
    if (!mouseReporter_) return;
    if (terminal_->mouseMode() == Terminal::MouseMode::anyEvent) {
        setTracking(true);
    } else {
        deregisterTrackingInterest();
    }
}

void TerminalView::scrolled(Terminal&, int)
{
    if (!mouseReporter_) return;
    updateScroller();
    if (auto delegate = terminalDelegate_.lock()) delegate->scrolled(*this, scrollPosition());
}

void TerminalView::bufferActivated(Terminal&)
{
    if (!mouseReporter_) return;
    updateScroller();
}

void TerminalView::linefeed(Terminal&)
{
    if (!mouseReporter_) return;
    if (allowMouseReporting && selection_->active()) {
        selection_->setActive(false);
        selection_->setSelectionMode(SelectionMode::character);
    }
}

void TerminalView::selectionChanged(Terminal&)
{
    if (!mouseReporter_) return;
    update();
    updateCommandEnablement();
}

}  // namespace corvel
