// Construction, fonts and cell metrics, size changes, focus and the caret,
// the scroll metrics and redraw scheduling of TerminalView. Colour mapping is
// in TerminalViewColors.cpp, drawing in TerminalViewDrawing.cpp, inline
// images in TerminalViewImages.cpp, the GPU path in TerminalViewMetal.cpp.
#include "corvel/qt/TerminalView.h"
#include "corvel/qt/TerminalViewAccessible.h"

#include "corvel/qt/CaretView.h"
#include "corvel/qt/ColorHelpers.h"
#include "corvel/qt/TerminalProgressBarView.h"

#include <QEvent>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPaintEvent>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <cmath>
#include <limits>

#include <time.h>

namespace corvel {

namespace {

// Processor time of the calling thread.
Nanos threadCpuNanos()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return Nanos(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

}  // namespace

// The terminal's host: forwards the callbacks the view answers while the view
// lives. The view cuts it off in its destructor; the terminal holds it weakly.
class TerminalView::Host final : public TerminalDelegate {
public:
    explicit Host(TerminalView* view) : view(view) {}
    TerminalView* view;

    // Pointer, commands and host queries (TerminalViewMouse.cpp,
    // TerminalViewCallbacks.cpp). A clipboard write of the program (OSC 52),
    // notifications and the current document keep the empty defaults.
    std::optional<std::vector<uint8_t>> windowCommand(Terminal& source,
                                                      const WindowManipulationCommand& command) override
    {
        return view ? view->windowCommand(source, command) : std::nullopt;
    }
    std::optional<CellSize> cellSizeInPixels(Terminal& source) override
    {
        return view ? view->cellSizeInPixels(source) : std::nullopt;
    }
    bool isProcessTrusted(Terminal&) override { return true; }
    void setTerminalTitle(Terminal& source, const std::string& title) override
    {
        if (view) view->setTerminalTitle(source, title);
    }
    void setTerminalIconTitle(Terminal&, const std::string&) override {}
    void bell(Terminal& source) override
    {
        if (view) view->bell(source);
    }
    void iTermContent(Terminal& source, std::span<const uint8_t> content) override
    {
        if (view) view->iTermContent(source, content);
    }
    void progressReport(Terminal& source, const ProgressReport& report) override
    {
        // May come from another thread; the view posts it to its own.
        if (view) view->progressReport(source, report);
    }
    void mouseModeChanged(Terminal& source) override
    {
        if (view) view->mouseModeChanged(source);
    }
    void scrolled(Terminal& source, int yDisp) override
    {
        if (view) view->scrolled(source, yDisp);
    }
    void bufferActivated(Terminal& source) override
    {
        if (view) view->bufferActivated(source);
    }
    void linefeed(Terminal& source) override
    {
        if (view) view->linefeed(source);
    }
    void selectionChanged(Terminal& source) override
    {
        if (view) view->selectionChanged(source);
    }

    void send(Terminal& source, std::span<const uint8_t> data) override
    {
        if (view) view->send(source, data);
    }
    void sendReply(Terminal& source, std::span<const uint8_t> data) override
    {
        if (view) view->sendReply(source, data);
    }
    void sizeChanged(Terminal& source) override
    {
        if (view) view->sizeChanged(source);
    }
    void showCursor(Terminal& source) override
    {
        if (view) view->showCursor(source);
    }
    void hideCursor(Terminal& source) override
    {
        if (view) view->hideCursor(source);
    }
    void cursorStyleChanged(Terminal& source, CursorStyle newStyle) override
    {
        if (view) view->cursorStyleChanged(source, newStyle);
    }
    void colorChanged(Terminal& source, std::optional<int> idx) override
    {
        if (view) view->colorChanged(source, idx);
    }
    void setForegroundColor(Terminal& source, const Color& color) override
    {
        if (view) view->setForegroundColor(source, color);
    }
    void setBackgroundColor(Terminal& source, const Color& color) override
    {
        if (view) view->setBackgroundColor(source, color);
    }
    void createImageFromBitmap(Terminal& source, std::vector<uint8_t>& bytes, int width, int height) override
    {
        if (view) view->createImageFromBitmap(source, bytes, width, height);
    }
    void createImage(Terminal& source, std::span<const uint8_t> data, ImageSizeRequest width,
                     ImageSizeRequest height, bool preserveAspectRatio) override
    {
        if (view) view->createImage(source, data, width, height, preserveAspectRatio);
    }
    void synchronizedOutputChanged(Terminal& source, bool active) override
    {
        if (view) view->synchronizedOutputChanged(source, active);
    }
    void hostCurrentDirectoryUpdated(Terminal& source) override
    {
        if (view) view->hostCurrentDirectoryUpdated(source);
    }
};

TerminalView::TerminalView(QWidget* parent, std::optional<QFont> font) : QWidget(parent)
{
    initialize(std::move(font));
}

TerminalView::TerminalView(const QRect& frame, std::optional<QFont> font, QWidget* parent) : QWidget(parent)
{
    setGeometry(frame);
    initialize(std::move(font));
}

TerminalView::~TerminalView()
{
    host_->view = nullptr;
    frames_->remove(frameClient_);
    gpuPath_.reset();
    delete caretView_;
    caretView_ = nullptr;
}

QFont TerminalView::systemFixedFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (font.pixelSize() <= 0) font.setPixelSize(QFontInfo(font).pixelSize());
    return font;
}

void TerminalView::initialize(std::optional<QFont> font)
{
    host_ = std::make_shared<Host>(this);
    frames_ = FrameScheduler::forApplication();
    frameClient_ = frames_->add([this] {
        // Only a redraw that invalidates rows is followed by a paint of its own.
        paintGranted_ = terminal_->getUpdateRange().has_value();
        updateDisplay();
    });
    fontSet_ = FontSet::from(font.value_or(systemFixedFont()));
    selectedTextBackgroundColor_ = DeviceColor::fromQColor(palette().color(QPalette::Highlight));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::IBeamCursor);
    setupScroller();
    setupOptions(width() - scrollerWidth(), height());
    setupProgressBar();
    placeSubviews();
    setupInteraction();
    gpuPath_ = qt::makeGpuPath(*this);
    installTerminalViewAccessibility();
}

// ---- fonts and metrics ----

QSizeF TerminalView::computeFontDimensions(const QFont& font, double scale)
{
    if (!(scale > 0)) scale = 1.0;
    const QFontMetricsF metrics(font);
    const double advance = metrics.horizontalAdvance(QLatin1Char('W'));
    const double lineHeight = metrics.ascent() + metrics.descent() + metrics.leading();
    const double width = std::max(std::ceil(advance * scale) / scale, 1.0);
    const double height = std::max(std::min(std::ceil(std::ceil(lineHeight) * scale) / scale, 8192.0), 1.0);
    return {width, height};
}

QSizeF TerminalView::computeFontDimensions() const
{
    return computeFontDimensions(fontSet_.normal, devicePixelRatioF());
}

double TerminalView::scrollerWidth() const
{
    return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
}

QRectF TerminalView::getOptimalFrameSize() const
{
    const QSizeF cell = cellDimension_.value_or(QSizeF(1, 1));
    return QRectF(0, 0, cell.width() * terminal_->cols() + scrollerWidth(), cell.height() * terminal_->rows());
}

double TerminalView::rowTop(int row) const
{
    const double cellHeight = cellDimension_ ? cellDimension_->height() : 1.0;
    return cellHeight * (row - terminal_->displayBuffer().yDisp());
}

std::pair<int, int> TerminalView::gridSize(double width, double height) const
{
    const QSizeF cell = *cellDimension_;
    auto count = [](double length, double size) {
        const double quotient = std::floor(std::max(length, 0.0) / size);
        return quotient >= double(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max()
                                                                   : static_cast<int>(quotient);
    };
    // A view smaller than the smallest grid still holds that grid, so the
    // comparison in processSizeChange sees what the terminal will really be.
    return {std::max(count(width, cell.width()), Terminal::MINIMUM_COLS),
            std::max(count(height, cell.height()), Terminal::MINIMUM_ROWS)};
}

void TerminalView::setupOptions(double width, double height)
{
    resetCaches();
    cellDimension_ = computeFontDimensions();
    const auto [cols, rows] = gridSize(width, height);

    TerminalOptions options;
    options.cols = cols;
    options.rows = rows;
    options.convertEol = false;
    options.termName = "xterm-256color";
    options.cursorStyle = CursorStyle::blinkBlock;
    options.screenReaderMode = false;
    options.scrollback = 500;
    options.tabStopWidth = 8;
    options.enableSixelReported = true;
    options.kittyImageCacheLimitBytes = 335544320;
    options.ansi256PaletteStrategy = Ansi256PaletteStrategy::base16Lab;

    if (!terminal_) {
        terminal_ = std::make_unique<Terminal>(host_, options);
    } else {
        terminal_->setOptions(options);
        terminal_->setup(false);
    }
    terminal_->setBackgroundColor(Color::defaultBackground);
    terminal_->setForegroundColor(Color::defaultForeground);

    selection_ = std::make_unique<SelectionService>(*terminal_);

    if (!caretView_) {
        caretView_ = new CaretView(QRectF(QPointF(0, 0), *cellDimension_), terminal_->options().cursorStyle, this);
        caretView_->show();
    } else {
        refreshCaret();
    }
    search_ = std::make_unique<SearchService>(*terminal_);
    update();
}

void TerminalView::refreshCaret()
{
    if (!caretView_) return;
    if (cellDimension_) caretView_->setCaretSize(*cellDimension_);
    caretView_->updateAnimation(!caretSuspended_ && CaretView::isBlinking(caretView_->style()));
    caretView_->updateView();
}

bool TerminalView::processSizeChange(QSizeF newSize)
{
    const auto [cols, rows] = gridSize(newSize.width() - scrollerWidth(), newSize.height());
    if (cols == terminal_->cols() && rows == terminal_->rows()) return false;
    selection_->setActive(false);
    terminal_->resize(cols, rows);
    search_->invalidate();
    if (auto delegate = terminalDelegate_.lock()) delegate->sizeChanged(*this, terminal_->cols(), terminal_->rows());
    updateScroller();
    return true;
}

void TerminalView::resetFont()
{
    resetCaches();
    cellDimension_ = computeFontDimensions();
    // The scroll bar's strip is left out here too, as everywhere else the
    // grid is measured, so the last column is not drawn under the bar.
    const auto [cols, rows] = gridSize(width() - scrollerWidth(), height());
    resizeTerminal(cols, rows);
    refreshCaret();
    update();
}

void TerminalView::resizeTerminal(int cols, int rows)
{
    terminal_->resize(cols, rows);
    sizeChanged(*terminal_);
    terminal_->cmdSoftReset();
}

void TerminalView::setFont(const QFont& font)
{
    fontSet_ = FontSet::from(font);
    resetFont();
    if (selection_->active()) {
        selection_->setActive(false);
        selection_->setSelectionMode(SelectionMode::character);
    }
}

void TerminalView::resetFontSize()
{
    fontSet_ = FontSet::from(systemFixedFont());
}

// ---- subviews ----

void TerminalView::setupScroller()
{
    scroller_ = new QScrollBar(Qt::Vertical, this);
    scroller_->setFocusPolicy(Qt::NoFocus);
    scroller_->setEnabled(false);
}

void TerminalView::setupProgressBar()
{
    progressBarView_ = new TerminalProgressBarView(this);
    progressBarView_->raise();
}

void TerminalView::placeSubviews()
{
    const int barWidth = static_cast<int>(scrollerWidth());
    if (scroller_) scroller_->setGeometry(width() - barWidth, 0, barWidth, height());
    if (progressBarView_) progressBarView_->setGeometry(0, 0, width(), 2);
}

// ---- frame changes ----

void TerminalView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!terminal_) return;
    placeSubviews();
    // The view's own size, as placeSubviews takes it, not the event's: under
    // X a window's last resize of a fast drag may come with the size before
    // it, the widget already at the last one, and no event after it.
    if (cellDimension_) processSizeChange(QSizeF(size()));
    // The GPU surface follows the view's size; every row is drawn again
    // (during a throttled live resize in the one queued frame).
    if (metalView()) {
        markAllMetalRowsDirty();
    } else {
        update();
    }
    updateCursorPosition();
    updateScroller();
    selection_->setActive(false);
}

void TerminalView::followLiveResize()
{
    // A view that was never shown follows nothing yet: it is not in the
    // window it will be shown in, and a hidden view gets no live resize.
    if (!liveResize_ && !isVisible()) return;
    LiveResizeDetector* detector = LiveResizeDetector::of(window());
    if (detector != liveResize_) {
        if (liveResize_) disconnect(liveResize_, nullptr, this, nullptr);
        liveResize_ = detector;
        connect(detector, &LiveResizeDetector::liveChanged, this, &TerminalView::setInLiveResize);
    }
    // A live resize of the window left ends for the view.
    setInLiveResize(detector->isLive());
}

// ---- focus ----

bool TerminalView::hasFocus() const
{
    if (!hasFocus_) return false;
    const QWidget* top = window();
    if (!top->isVisible()) return true;
    return top->isActiveWindow();
}

void TerminalView::setHasFocus(bool value)
{
    hasFocus_ = value;
    if (caretView_) {
        caretView_->setFocused(value);
        caretView_->updateView();
    }
    requestMetalFrame();
}

void TerminalView::windowMainChanged(bool becameMain)
{
    requestMetalFrame();
    if (!caretView_ || caretSuspended_) return;
    caretView_->updateAnimation(becameMain && CaretView::isBlinking(caretView_->style()));
    caretView_->updateView();
}

void TerminalView::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    setHasFocus(true);
    windowMainChanged(true);
    terminal_->setTerminalFocus(true);
}

void TerminalView::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    if (caretView_) caretView_->disableAnimations();
    setHasFocus(false);
    terminal_->setTerminalFocus(false);
}

bool TerminalView::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate) windowMainChanged(true);
    if (event->type() == QEvent::WindowDeactivate) windowMainChanged(false);
    if (event->type() == QEvent::Show || event->type() == QEvent::ParentChange) followLiveResize();
    if (event->type() == QEvent::Paint && paintGranted_) {
        // What the paint of a granted redraw cost is what the frame
        // scheduler counts the next grant at (other paints, of an empty
        // screen or an expose, tell nothing about it).
        // The thread's processor time, not the clock's: time this thread
        // waited for the processor says nothing about the next paint.
        paintGranted_ = false;
        const Nanos start = threadCpuNanos();
        const bool handled = QWidget::event(event);
        frames_->reportCost(frameClient_, threadCpuNanos() - start);
        return handled;
    }
    return QWidget::event(event);
}

// ---- caret ----

QRectF TerminalView::caretFrame() const
{
    return caretView_ ? caretView_->caretFrame() : QRectF();
}

DeviceColor TerminalView::caretColor() const
{
    return caretView_->caretColor();
}

void TerminalView::setCaretColor(const DeviceColor& color)
{
    caretView_->setCaretColor(color);
    caretView_->updateView();
}

std::optional<DeviceColor> TerminalView::caretTextColor() const
{
    return caretView_->caretTextColor();
}

void TerminalView::setCaretTextColor(const std::optional<DeviceColor>& color)
{
    caretView_->setCaretTextColor(color);
    caretView_->updateView();
}

bool TerminalView::caretViewTracksFocus() const
{
    return caretView_->tracksFocus();
}

void TerminalView::setCaretViewTracksFocus(bool value)
{
    caretView_->setTracksFocus(value);
    caretView_->updateView();
}

void TerminalView::setCursorColor(Terminal&, const std::optional<Color>& color, const std::optional<Color>& textColor)
{
    if (!caretView_) return;
    setCaretColor(color ? colors::deviceColor(*color) : caretView_->defaultCaretColor());
    caretView_->setCaretTextColor(textColor ? std::optional(colors::deviceColor(*textColor))
                                            : caretView_->defaultCaretTextColor());
    caretView_->updateView();
}

void TerminalView::updateCursorPosition()
{
    if (!caretView_ || !cellDimension_) return;
    Buffer& buffer = terminal_->displayBuffer();
    const int cursorRow = buffer.yBase() + buffer.y();
    if (cursorRow >= buffer.yDisp() + buffer.rows() || cursorRow >= buffer.lines().count()) {
        caretView_->hide();
        return;
    }
    caretView_->setVisible(!terminal_->cursorHidden && !caretSuspended_);
    requestMetalFrame();
    const BufferLine& line = buffer.lines()[cursorRow];
    const double widthFactor = line.renderMode == BufferLine::RenderLineMode::single ? 1.0 : 2.0;
    const QSizeF cell = *cellDimension_;
    const QPointF origin(widthFactor * cell.width() * buffer.x(),
                         cell.height() * (buffer.y() + (buffer.yBase() - buffer.yDisp())));
    caretView_->setCaretOrigin(origin);
    if (line.count() > 0) caretView_->setText(line[std::min(buffer.x(), line.count() - 1)]);
}

// ---- host callbacks ----

void TerminalView::send(Terminal&, std::span<const uint8_t> data)
{
    // The terminal's own sends are its mouse and focus reports.
    if (auto delegate = terminalDelegate_.lock()) delegate->sendReport(*this, data);
}

void TerminalView::sendReply(Terminal&, std::span<const uint8_t> data)
{
    if (auto delegate = terminalDelegate_.lock()) delegate->sendReply(*this, data);
}

void TerminalView::sizeChanged(Terminal&)
{
    if (auto delegate = terminalDelegate_.lock()) delegate->sizeChanged(*this, terminal_->cols(), terminal_->rows());
    updateScroller();
}

void TerminalView::showCursor(Terminal&)
{
    if (caretView_ && caretView_->isHidden() && !caretSuspended_) caretView_->show();
    requestMetalFrame();
}

void TerminalView::hideCursor(Terminal&)
{
    if (caretView_) caretView_->hide();
    requestMetalFrame();
}

void TerminalView::cursorStyleChanged(Terminal&, CursorStyle newStyle)
{
    if (!caretView_) return;
    caretView_->setStyle(newStyle);
    refreshCaret();
    requestMetalFrame();
}

// ---- redraw and scrolling ----

void TerminalView::queuePendingDisplay()
{
    if (pendingDisplay_) return;
    pendingDisplay_ = true;
    frames_->request(frameClient_);
}

double TerminalView::scrollThumbsize()
{
    if (terminal_->isDisplayBufferAlternate()) return 0;
    const Buffer& buffer = terminal_->displayBuffer();
    const auto count = buffer.lines().count();
    if (count <= 0) return 1.0;
    return std::max(double(buffer.rows()) / double(count), 0.01);
}

double TerminalView::scrollPosition()
{
    if (terminal_->isDisplayBufferAlternate()) return 0;
    const Buffer& buffer = terminal_->displayBuffer();
    const int64_t maxScroll = buffer.lines().count() - buffer.rows();
    if (buffer.yDisp() <= 0) return 0;
    if (buffer.yDisp() >= maxScroll) return 1.0;
    return double(buffer.yDisp()) / double(maxScroll);
}

bool TerminalView::canScroll()
{
    if (terminal_->isDisplayBufferAlternate()) return false;
    const Buffer& buffer = terminal_->displayBuffer();
    return buffer.hasScrollback() && buffer.rows() < buffer.lines().count();
}

void TerminalView::updateScroller()
{
    if (!scroller_) return;
    if (terminal_->isDisplayBufferAlternate()) {
        // No history: no range, so the knob fills the whole bar.
        scroller_->setRange(0, 0);
        scroller_->setValue(0);
        scroller_->setEnabled(false);
        return;
    }
    // The bar shows a 0...1 position with a knob of the given share of its
    // length: the page step makes the knob that share of range + page.
    constexpr int kRange = 100000;
    const double share = std::clamp(scrollThumbsize(), 0.01, 0.99);
    scroller_->setRange(0, kRange);
    scroller_->setPageStep(static_cast<int>(std::lround(share * kRange / (1.0 - share))));
    scroller_->setValue(static_cast<int>(std::lround(scrollPosition() * kRange)));
    scroller_->setEnabled(canScroll());
}

}  // namespace corvel
