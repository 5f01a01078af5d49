// The Qt widget that shows one terminal. It owns the emulator (Terminal),
// the selection and search services, the caret, a vertical scroll bar and
// the progress strip, and it is the emulator's host: a small forwarding
// TerminalDelegate that it owns (shared with the terminal only weakly) hands
// the callbacks to the view and is cut off in the view's destructor.
//
// Geometry: Qt logical pixels, y down. Buffer row r with top row yDisp has
// its top edge at rowTop(r) = cellHeight * (r - yDisp); cells are whole
// device pixels (the cell size is a multiple of 1 / devicePixelRatioF()).
// The scroll bar takes PM_ScrollBarExtent at the right; the grid fills the
// rest. Fonts are given by pixel size.
//
// Colours: the view maps cell attributes to TextAttributes (face, colours,
// decorations) with caches for attributes, palette entries and true colours;
// palette and font changes clear them.
//
// Redraws are coalesced: queuePendingDisplay asks the application's frame
// scheduler (FrameScheduler, shared by all views) for a redraw in a coming
// frame of its 60 Hz clock (an idle clock starts one frame ahead); the
// scheduler grants as many views per frame as fit its paint budget, counting
// each at its measured paint cost, and each view at most once a frame. The granted redraw invalidates the band of the terminal's dirty
// rows, and the paint event draws the rows that band touches
// (TerminalViewDrawing.cpp). Inline images become strips on the lines they
// cover (TerminalViewImages.cpp). GUI thread only.
//
// As the terminal's host (TerminalViewHost.cpp) the view feeds program output
// to the parser, scrolls through the scrollback and sends bytes through its
// delegate; the keyboard and input method (TerminalViewKeyboard.cpp) turn
// KeyInput records and committed text into those bytes.
//
// The pointer (TerminalViewMouse.cpp) reports clicks and motion to the
// program when it asked for them and selects text otherwise, scrolls with the
// wheel and the scroll bar, and underlines, previews and opens links. The
// edit and find commands (TerminalViewCommands.cpp) copy, paste, select all
// and drive the find bar; the remaining host callbacks (window queries, cell
// size, progress reports, bell, title) are in TerminalViewCallbacks.cpp.
#pragma once

#include "corvel/screen/Attribute.h"
#include "corvel/screen/CharData.h"
#include "corvel/screen/Color.h"
#include "corvel/screen/ImageSizeRequest.h"
#include "corvel/screen/TerminalImage.h"
#include "corvel/terminal/CursorStyle.h"
#include "corvel/terminal/LinkMatch.h"
#include "corvel/terminal/MouseReporter.h"
#include "corvel/terminal/ProgressReport.h"
#include "corvel/terminal/SearchService.h"
#include "corvel/terminal/SelectionService.h"
#include "corvel/terminal/Terminal.h"
#include "corvel/terminal/TerminalDelegate.h"
#include "corvel/kitty/KittyKeyboardProtocol.h"
#include "corvel/qt/DeviceColor.h"
#include "corvel/qt/FindBarController.h"
#include "corvel/qt/FindTarget.h"
#include "corvel/qt/FontSet.h"
#include "corvel/qt/FrameScheduler.h"
#include "corvel/qt/GlyphRunCache.h"
#include "corvel/qt/GpuPath.h"
#include "corvel/qt/LineBuilder.h"
#include "corvel/qt/LiveResizeDetector.h"
#include "corvel/qt/MetalBufferingMode.h"
#include "corvel/qt/MetalViewHost.h"
#include "corvel/qt/RowPainter.h"
#include "corvel/qt/RunStyle.h"
#include "corvel/qt/KeyInput.h"
#include "corvel/qt/TextRange.h"
#include "corvel/qt/TextAttributes.h"
#include "corvel/qt/TerminalViewDelegate.h"

#include <QFont>
#include <QImage>
#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <QWidget>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class QAccessibleEvent;
class QAction;
class QLabel;
class QScrollBar;
class QUrl;

namespace corvel {

class CaretView;
class CellLinkLookup;
class DispatchQueue;
class DispatchWorkItem;
class TerminalDebugView;
class TerminalFindBarView;
class TerminalProgressBarView;

class TerminalView : public QWidget, public qt::RunStyleSource, public FindTarget, public qt::MetalViewHost {
    Q_OBJECT
public:
    // The frame of the redraws (60 Hz): a view is redrawn at most once in it.
    static constexpr Nanos displayDelay = FrameScheduler::frameInterval;

    // With the system's fixed-pitch font when none is given.
    explicit TerminalView(QWidget* parent = nullptr, std::optional<QFont> font = std::nullopt);
    // Sized to `frame` before the terminal is made, so the grid fits it.
    explicit TerminalView(const QRect& frame, std::optional<QFont> font = std::nullopt, QWidget* parent = nullptr);
    ~TerminalView() override;
    TerminalView(const TerminalView&) = delete;
    TerminalView& operator=(const TerminalView&) = delete;

    // The system's fixed-pitch font, set by pixel size.
    static QFont systemFixedFont();
    // The cell size for `font` at `scale` device pixels per logical pixel.
    static QSizeF computeFontDimensions(const QFont& font, double scale);

    // ---- services ----

    Terminal& getTerminal() { return *terminal_; }
    SelectionService& selection() { return *selection_; }
    SearchService& search() { return *search_; }
    CaretView* caretView() const { return caretView_; }
    TerminalProgressBarView* progressBarView() const { return progressBarView_; }
    QScrollBar* scroller() const { return scroller_; }

    std::shared_ptr<TerminalViewDelegate> terminalDelegate() const { return terminalDelegate_.lock(); }
    void setTerminalDelegate(std::weak_ptr<TerminalViewDelegate> delegate) { terminalDelegate_ = std::move(delegate); }

    // ---- fonts and metrics ----

    const QFont& font() const { return fontSet_.normal; }
    // New faces, new cell size, the grid resized; an active selection goes.
    void setFont(const QFont& font);
    const FontSet& fontSet() const { return fontSet_; }
    // Back to the system font; the cell size and grid stay as they were.
    void resetFontSize();
    std::optional<QSizeF> cellDimension() const { return cellDimension_; }
    QSizeF computeFontDimensions() const;
    double scrollerWidth() const;
    // Cells for the columns and rows plus the scroll bar.
    QRectF getOptimalFrameSize() const;
    // The top edge of buffer row `row` in view coordinates.
    double rowTop(int row) const;

    // Makes or reconfigures the terminal for a grid that fills width x height.
    void setupOptions(double width, double height);
    // Whether the grid size changed for a view of `newSize`.
    bool processSizeChange(QSizeF newSize);
    void resetFont();
    // The terminal to an explicit grid, reported, then soft-reset. (Not
    // named resize: QWidget::resize(int, int) takes pixels.)
    void resizeTerminal(int cols, int rows);

    // ---- colours ----

    std::optional<DeviceColor> nativeForegroundColor() const { return nativeFg_; }
    void setNativeForegroundColor(const DeviceColor& color);
    std::optional<DeviceColor> nativeBackgroundColor() const { return nativeBg_; }
    void setNativeBackgroundColor(const DeviceColor& color);
    // The palette's text and base colours.
    void configureNativeColors();

    DeviceColor mapColor(Attribute::Color color, bool isFg, bool isBold, bool useBrightColors);
    // Cached per attribute; the reference holds until the next cache reset.
    const TextAttributes& getAttributes(const Attribute& attribute, bool withUrl);
    TextAttributes getAttributedValue(const Attribute& attribute, const DeviceColor& fg, const DeviceColor& bg);
    void installColors(std::span<const Color> colors);
    void resetCaches();
    void colorsChanged();

    bool useBrightColors() const { return useBrightColors_; }
    void setUseBrightColors(bool value);
    DeviceColor selectedTextBackgroundColor() const { return selectedTextBackgroundColor_; }
    void setSelectedTextBackgroundColor(const DeviceColor& color) { selectedTextBackgroundColor_ = color; }
    bool customBlockGlyphs() const { return customBlockGlyphs_; }
    void setCustomBlockGlyphs(bool value);
    bool antiAliasCustomBlockGlyphs() const { return antiAliasCustomBlockGlyphs_; }
    void setAntiAliasCustomBlockGlyphs(bool value);

    // ---- caret and focus ----

    QRectF caretFrame() const;
    DeviceColor caretColor() const;
    void setCaretColor(const DeviceColor& color);
    std::optional<DeviceColor> caretTextColor() const;
    void setCaretTextColor(const std::optional<DeviceColor>& color);
    bool caretViewTracksFocus() const;
    void setCaretViewTracksFocus(bool value);
    void setCursorColor(Terminal& source, const std::optional<Color>& color, const std::optional<Color>& textColor);
    void updateCursorPosition();

    // Keyboard focus of this view while its window is the active one. A view
    // whose window is not shown counts only its own flag. (Hides
    // QWidget::hasFocus on purpose: the caret and focus reports follow this.)
    bool hasFocus() const;
    void setHasFocus(bool value);

    // ---- plain settings ----

    bool backspaceSendsControlH = false;
    bool optionAsMetaKey = true;
    bool allowMouseReporting = true;
    bool notifyUpdateChanges = false;

    // ---- redraw and scrolling ----

    void queuePendingDisplay();
    bool pendingDisplay() const { return pendingDisplay_; }
    double scrollThumbsize();
    double scrollPosition();
    bool canScroll();
    // The scroll bar takes canScroll, scrollPosition and scrollThumbsize; on
    // the alternate screen it is disabled with an empty range.
    void updateScroller();
    // Redraw tasks run so far.
    uint64_t displayUpdates() const { return displayUpdates_; }

    // ---- feeding and scrolling (TerminalViewHost.cpp) ----

    // Program output: parsed at once, drawn on the next coalesced redraw.
    void feed(std::span<const uint8_t> byteArray);
    void feed(std::string_view text);

    // Shows buffer row `row` at the top, clamped to 0 ... lines - rows. On
    // the alternate screen, which has nothing above its first row, the
    // screen itself is the only place to show.
    void scrollTo(int row, bool notifyAccessibility = false);
    // The scroll bar's fraction, 0 (top) to 1 (bottom). (Not named scroll:
    // QWidget::scroll moves pixels.)
    void scrollToPosition(double position);
    void scrollUp(int lines);
    void scrollDown(int lines);
    // A screen up or down on the normal screen; on the alternate screen the
    // page key goes to the program instead.
    void pageUp();
    void pageDown();
    // The normal screen's scrollback; none keeps no history.
    void changeScrollback(std::optional<int> lines);
    // Back to the live screen when the cursor line is out of view.
    void ensureCaretIsVisible();

    // ---- sending ----

    // Each first brings the cursor into view, then hands the bytes to the
    // delegate; without one they are dropped.
    void send(std::span<const uint8_t> data);
    void send(std::string_view txt);
    void sendKeyUp();
    void sendKeyDown();
    void sendKeyLeft();
    void sendKeyRight();

    // ---- selection ----

    bool selectionActive() const;
    // The selected text in reading order; the last column is included when
    // the selection ends there, as the highlight shows it.
    std::optional<std::string> getSelection();
    void selectAll();
    void selectNone();

    // ---- payloads and keys ----

    // An OSC 8 payload "params;URI": the URI (all that follows the first
    // ';') and the key=value parameters split at ':'; none without a ';'.
    static std::optional<std::pair<std::string, std::map<std::string, std::string>>>
    urlAndParamsFrom(std::string_view payload);
    // The control byte for a one-byte character, or nothing.
    static std::vector<uint8_t> applyControlToEventCharacters(std::string_view characters);

    // ---- keyboard and input method (TerminalViewKeyboard.cpp) ----

    virtual void keyDown(const KeyInput& event);
    virtual void keyUp(const KeyInput& event);
    // A modifier key went down or up (KeyInput::pressed).
    virtual void flagsChanged(const KeyInput& event);
    // An editing command such as "insertNewline:"; unknown ones are logged.
    void doCommand(std::string_view selector);
    // Committed text, typed or from an input method.
    virtual void insertText(const std::string& text);
    // Pasted text goes between the bracketed-paste markers when the program asked for them.
    void insertText(const std::string& text, bool isPaste);
    virtual void setMarkedText(const std::string& text);
    virtual void unmarkText();
    virtual bool hasMarkedText() const;
    // Linear buffer positions (row * cols + col) of the active selection;
    // location is TextRange::notFound without one.
    TextRange selectedRange();
    virtual TextRange markedRange();
    // Where an input method places its window: the caret, in view coordinates.
    QRectF firstRect() const;
    bool kittyIsComposing() const { return kittyIsComposing_; }

    // ---- GPU path (TerminalViewMetal.cpp) ----

    bool isUsingMetalRenderer() const;
    // Throws MetalError when switching on fails; the view keeps drawing in software.
    void setUseMetal(bool enabled);
    void updateMetalRenderer(bool enabled);
    // The drawing surface and the renderer while the GPU path is on.
    QWidget* metalView() const;
    qt::MetalRendererBase* metalRenderer() const;
    qt::GpuPath* gpuPath() const { return gpuPath_.get(); }
    // Asks the GPU path for a frame (nothing while it is off); during a
    // throttled live resize only queues one.
    void requestMetalFrame();
    // Asks for one GPU frame a 60 Hz frame from now; calls while one is
    // queued add nothing (nothing while the path is off).
    void queueMetalDisplay();
    bool pendingMetalDisplay() const { return pendingMetalDisplay_; }
    // Whether the view's window is being resized by the user. Qt reports no
    // such state: the view follows its window's LiveResizeDetector (taken
    // up again when the view is shown or moved to another parent), which
    // sets it at each change. On the GPU path, with the live-resize throttle
    // on, size changes, repaints and caret moves during a live resize only
    // queue a GPU frame.
    void setInLiveResize(bool value) { inLiveResize_ = value; }
    bool inLiveResize() const { return inLiveResize_; }
    // The detector followed; null before the view was first shown.
    LiveResizeDetector* liveResizeDetector() const { return liveResize_; }

    // How the renderer keeps its row data; read once per frame.
    qt::MetalBufferingMode metalBufferingMode = qt::MetalBufferingMode::perRowPersistent;
    // Absolute rows whose GPU rows must be rebuilt (closed range); the
    // renderer takes and clears it each frame. Marks between two frames add
    // up, so rows marked before a skipped frame are not lost.
    std::optional<std::pair<int64_t, int64_t>> metalDirtyRange;
    void markMetalRowsDirty(int64_t first, int64_t last);
    // Marks every visible row (colours, selection or highlight changed).
    void markAllMetalRowsDirty();

    // MetalViewHost
    QWidget* terminalWidget() override { return this; }
    QWidget* caretWidget() override;
    void suspendCaretForMetal() override;
    void resumeCaretAfterMetal() override;
    QColor metalBackgroundColor() override;
    bool throttlesMetalFrames() const override;

    // ---- host callbacks (the forwarding delegate calls these) ----

    void send(Terminal& source, std::span<const uint8_t> data);
    void sendReply(Terminal& source, std::span<const uint8_t> data);
    void sizeChanged(Terminal& source);
    void showCursor(Terminal& source);
    void hideCursor(Terminal& source);
    void cursorStyleChanged(Terminal& source, CursorStyle newStyle);
    void colorChanged(Terminal& source, std::optional<int> idx);
    void setForegroundColor(Terminal& source, const Color& color);
    void setBackgroundColor(Terminal& source, const Color& color);
    void synchronizedOutputChanged(Terminal& source, bool active);
    void hostCurrentDirectoryUpdated(Terminal& source);

    // ---- drawing (TerminalViewDrawing.cpp) ----

    // The look of cells with `attribute`, from getAttributes; cached with it.
    const qt::RunStyle& runStyle(const Attribute& attribute, bool asLink) override;
    // Draws every grid row `dirtyRect` touches, and the view's background
    // where no row is; the paint event calls it with the widget's painter.
    void drawTerminalContents(QPainter& painter, const QRect& dirtyRect);
    // Applies the view's drawing state (colours, selection, links,
    // placeholders) to a line builder, as the paint event does.
    void configureLineBuilder(qt::LineBuilder& builder);
    // The band of screen rows first...last (inclusive), stretched to the
    // view's bottom edge when `last` is the last row, so the strip below the
    // grid is redrawn too.
    QRect rowsRegion(int64_t first, int64_t last) const;
    // Shaped glyphs of the view's fonts, kept across paints; absent before
    // the first paint.
    const qt::GlyphRunCache* glyphCache() const { return glyphs_.get(); }

    // Link highlighting, set by the pointer code.
    qt::LinkHighlightMode linkHighlightMode = qt::LinkHighlightMode::hoverWithModifier;
    std::optional<std::vector<LinkMatch::RowRange>> linkHighlightRange;
    bool commandActive = false;
    // Decodes Kitty placeholder cells, with the library's decoder unless
    // replaced; absent, they are drawn as text.
    qt::PlaceholderDecoder placeholderDecoder = qt::decodeKittyPlaceholder;

    // ---- inline images (TerminalViewImages.cpp) ----

    // Host callbacks: an encoded image, and RGBA pixels (premultiplied,
    // rows from the top). Undecodable or inconsistent input inserts nothing.
    void createImage(Terminal& source, std::span<const uint8_t> data, ImageSizeRequest width,
                     ImageSizeRequest height, bool preserveAspectRatio);
    void createImageFromBitmap(Terminal& source, std::vector<uint8_t>& bytes, int width, int height);
    // Cuts the image into strips one row high at the cursor.
    void insertImage(const QImage& image, ImageSizeRequest width, ImageSizeRequest height,
                     bool preserveAspectRatio);
    // `imageSize` scaled to fit `rect` and centred in it; `rect` when either
    // is empty.
    static QRectF kittyAspectFitRect(QSizeF imageSize, const QRectF& rect);
    // The Kitty image `imageId` of the store for placeholder cells, decoded
    // once and kept until the stored image changes or goes; null when absent
    // or undecodable.
    const QImage* kittyPlaceholderImage(uint32_t imageId);

    // ---- pointer, links and scroll bar (TerminalViewMouse.cpp) ----

    // Which links are looked up for the link report of a hovered cell.
    enum class LinkReporting : uint8_t { none, explicitLinks, implicitLinks };
    LinkReporting linkReporting = LinkReporting::implicitLinks;

    // The cell (absolute buffer row) and pixel under a point of the view.
    MouseReporter::Hit calculateMouseHit(QPointF point);
    // The OSC 8 payload of the cell at a buffer position (the right half of
    // a wide character gives the character's); none outside the buffer.
    std::optional<std::string> payloadString(Position at);
    // The link a click at `at` opens, with its parameters; none when the
    // highlight mode does not allow it there.
    std::optional<std::pair<std::string, std::map<std::string, std::string>>> linkForClick(Position at,
                                                                                          bool hasCommandModifier);
    std::optional<std::pair<std::string, std::map<std::string, std::string>>> linkForClick(CellLinkLookup& link,
                                                                                          bool hasCommandModifier);
    // Marks the visible rows of both ranges for redraw.
    void invalidateLinkHighlight(const std::optional<std::vector<LinkMatch::RowRange>>& oldRange,
                                 const std::optional<std::vector<LinkMatch::RowRange>>& newRange);
    // Underlines the link under `at` in the hover modes; `commandOverride`
    // stands for the Ctrl state when given.
    void updateHoverLink(Position at, std::optional<bool> commandOverride);
    void updateHoverLink(CellLinkLookup& link, std::optional<bool> commandOverride);
    void clearLinkHighlight();
    // Remembers the text of the link under `at` as linkReporting asks.
    void reportLink(Position at);
    void reportLink(CellLinkLookup& link);
    const std::optional<std::string>& lastReportedLink() const { return lastReportedLink_; }
    // The label showing the URL of `payload` at the bottom-left corner.
    void previewUrl(const std::string& payload);
    QLabel* urlPreview() const { return urlPreview_; }
    void turnOffUrlPreview();
    // Ctrl (the command modifier) went down or up.
    void commandModifierChanged(bool held);
    // Changes the highlight mode, dropping the highlight and redrawing.
    void setLinkHighlightMode(qt::LinkHighlightMode mode);
    // Whether pointer motion without a button reaches the view.
    bool isTracking() const { return tracking_; }
    static QFont tryUrlFont();
    // Opens a link with linkOpener when the opening rules allow it; a refused
    // link writes one diagnostic line to the standard output.
    bool openLink(const std::string& link);
    // Hands a URL to the desktop; QDesktopServices::openUrl unless replaced.
    std::function<bool(const QUrl&)> linkOpener;
    // What a scroll-bar action (QAbstractSlider::SliderAction) does.
    void scrollerActivated(int action);

    void mouseModeChanged(Terminal& source);
    void scrolled(Terminal& source, int yDisp);
    void bufferActivated(Terminal& source);
    void linefeed(Terminal& source);
    void selectionChanged(Terminal& source);

    // ---- clipboard and find commands (TerminalViewCommands.cpp) ----

    // The selection's text onto the clipboard; nothing while none is active
    // or while its text is empty.
    void copy();
    // Whether the key is the shortcut of one of the view's own commands
    // (copy, paste, select all, find). Such a key is never encoded for the
    // program, even while its command cannot run.
    bool isCommandKey(const QKeyEvent& event) const;
    // The clipboard's text (empty when it holds none) as a paste.
    virtual void paste();
    // Whether a menu item with `action` ("copy:", "performFindPanelAction:"
    // ...) and `tag` is enabled; unknown actions are logged and disabled.
    bool validateUserInterfaceItem(std::string_view action, std::optional<int> tag);
    // Tags: 1 show the bar, 2 next, 3 previous, 7 the selection as the find
    // term; the text-finder action also knows 11, hide the bar.
    void performFindPanelAction(int tag);
    void performTextFinderAction(int tag);
    void setFindPasteboardFromSelection();
    TerminalFindBarView& ensureFindBar();
    void showFindBar(bool prefillSelection);
    void performFind(bool next);
    TerminalFindBarView* findBar() const { return findBar_; }
    FindBarController* findBarController() const { return findBarController_.get(); }
    QAction* copyAction() const { return copyAction_; }
    QAction* pasteAction() const { return pasteAction_; }
    QAction* selectAllAction() const { return selectAllAction_; }
    QAction* findAction() const { return findAction_; }

    bool findNext(const std::string& term, const SearchOptions& options, bool scrollToResult) override;
    bool findPrevious(const std::string& term, const SearchOptions& options, bool scrollToResult) override;
    void clearSearch() override;
    void findBarClosed() override;

    // ---- host callbacks (TerminalViewCallbacks.cpp) ----

    std::optional<std::vector<uint8_t>> windowCommand(Terminal& source, const WindowManipulationCommand& command);
    std::optional<TerminalDelegate::CellSize> cellSizeInPixels(Terminal& source);
    void setTerminalTitle(Terminal& source, const std::string& title);
    void bell(Terminal& source);
    void iTermContent(Terminal& source, std::span<const uint8_t> content);
    // Safe from any thread: off the GUI thread the report is posted to it.
    void progressReport(Terminal& source, const ProgressReport& report);
    void handleProgressReport(const ProgressReport& report);
    void clearProgressReport();
    std::optional<uint8_t> lastProgressValue() const { return lastProgressValue_; }
    // The queue whose clock times the 15-second clearing of a stale progress
    // report; the main queue when none is set.
    std::shared_ptr<DispatchQueue> progressTimerQueue;
    static constexpr Nanos progressReportTimeout = 15'000'000'000;

    // The ring overlay, made on first call and refreshed with each display update.
    TerminalDebugView& attachDebugView();
    TerminalDebugView* debugView() const { return debug_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    // Tab belongs to the program, not to focus traversal.
    bool focusNextPrevChild(bool next) override;

    // Accessibility: whether assistive technology listens (the events are
    // only built then), and the hand-over of one event to Qt.
    virtual bool accessibilityListening() const;
    virtual void postAccessibilityEvent(QAccessibleEvent& event);

private:
    struct PendingKittyKey {
        KeyInput event;
        KittyKeyboardEventType eventType = KittyKeyboardEventType::press;
    };

    bool sendKittyEvent(const KittyKeyEvent& event);
    std::optional<KittyKeyEvent> kittyTextEvent(const KeyInput& event, KittyKeyboardEventType eventType,
                                                std::optional<std::string> text) const;
    KittyKeyboardModifiers kittyModifiers(const KeyInput& event, bool altAlways = false) const;
    // What the platform's text system does with a key the view did not
    // handle itself: an editing command or inserted text.
    void interpretKeyEvent(const KeyInput& event);
    bool kittyModeOn() const;

    class Host;

    void initialize(std::optional<QFont> font);
    void setupScroller();
    void setupProgressBar();
    void placeSubviews();
    // The grid for a size, `usable` of it across.
    std::pair<int, int> gridSize(double width, double height) const;
    // The caret's size and blink after a cell-size or style change.
    void refreshCaret();
    // Caret blink on window activation (true) or its loss (false).
    void windowMainChanged(bool becameMain);
    // Invalidates the terminal's dirty rows; with `notifyAccessibility`,
    // when rows changed, tells assistive technology that the text and then
    // the selected text changed.
    void updateDisplay(bool notifyAccessibility = true);
    void notifyAccessibilityOfDisplay();
    DeviceColor ansi256(uint8_t code, bool isBold, bool useBrightColors);
    DeviceColor trueColor(Attribute::Color color);
    DeviceColor defaultColor(bool isFg) const;
    DeviceColor defaultInvertedColor(bool isFg) const;

    std::shared_ptr<Host> host_;
    std::weak_ptr<TerminalViewDelegate> terminalDelegate_;
    std::unique_ptr<Terminal> terminal_;
    std::unique_ptr<SelectionService> selection_;
    std::unique_ptr<SearchService> search_;
    CaretView* caretView_ = nullptr;                       // child widget
    TerminalProgressBarView* progressBarView_ = nullptr;  // child widget
    QScrollBar* scroller_ = nullptr;                       // child widget

    FontSet fontSet_;
    std::optional<QSizeF> cellDimension_;

    std::unordered_map<Attribute, TextAttributes> attributes_;
    std::unordered_map<Attribute, TextAttributes> urlAttributes_;
    std::array<std::optional<DeviceColor>, 256> colors_{};
    std::unordered_map<Attribute::Color, DeviceColor> trueColors_;

    std::optional<DeviceColor> nativeFg_;
    std::optional<DeviceColor> nativeBg_;
    bool settingFg_ = false;
    bool settingBg_ = false;
    bool useBrightColors_ = true;
    bool customBlockGlyphs_ = true;
    bool antiAliasCustomBlockGlyphs_ = false;
    DeviceColor selectedTextBackgroundColor_;

    bool hasFocus_ = false;
    bool pendingDisplay_ = false;
    uint64_t displayUpdates_ = 0;
    // The application's frame scheduler and this view's place in it.
    std::shared_ptr<FrameScheduler> frames_;
    FrameScheduler::ClientId frameClient_ = 0;
    bool paintGranted_ = false;  // a granted redraw waits for its paint
    // GPU path (TerminalViewMetal.cpp): screen rows first...last of the
    // terminal updated; a repaint of the view while the surface covers it.
    void metalRowsUpdated(int64_t first, int64_t last);
    void paintEventForMetal(const QRect& rect);
    std::unique_ptr<qt::GpuPath> gpuPath_;
    bool caretSuspended_ = false;  // the GPU path draws the cursor
    bool inLiveResize_ = false;
    // Follows the detector of the view's current window (none before the
    // view was first shown), taking up its state.
    void followLiveResize();
    QPointer<LiveResizeDetector> liveResize_;  // owned by the window
    bool pendingMetalDisplay_ = false;  // a queued GPU frame has not run yet

    // Drawing state (TerminalViewDrawing.cpp): the glyph cache for the fonts
    // it was made with, their metrics, the tiles of box-drawing and block
    // cells, the run-style caches (emptied with the attribute caches), and
    // the line builder with its reused row record.
    void ensureGlyphCache();
    void drawRow(QPainter& painter, int64_t row, const BufferLine& line, qt::LineBuilder& builder,
                 const std::unordered_map<uint32_t, std::vector<KittyPlacementRecord>>& virtualPlacements);
    std::unique_ptr<qt::GlyphRunCache> glyphs_;
    std::array<QFont, 4> glyphFonts_;
    qt::RowTextMetrics rowMetrics_;
    qt::CustomGlyphTileCache glyphTiles_;
    std::unordered_map<Attribute, qt::RunStyle> runStyles_;
    std::unordered_map<Attribute, qt::RunStyle> urlRunStyles_;
    qt::ViewLineInfo lineInfo_;
    struct PlaceholderImage {
        // The stored payload's bytes it was decoded from: expired or another
        // pointer once the stored image changed.
        std::weak_ptr<const std::vector<uint8_t>> source;
        QImage image;
    };
    std::unordered_map<uint32_t, PlaceholderImage> placeholderImages_;
    // The last strip filled from a one-pixel source, whose pixels the next
    // strip of the same size, pixel and covered area shares (strips are
    // never drawn into once made), so a stream of 1x1 placements makes one
    // pixel buffer instead of one each.
    struct FilledStrip {
        QImage pixels;
        uint32_t pixel = 0;
        ImagePixelArea area;
    };
    std::optional<FilledStrip> lastFilledStrip_;
    // A strip of `width` x `height` pixels, `pixel` over `area` and
    // transparent elsewhere: the last one made when it matches.
    QImage filledStrip(int width, int height, uint32_t pixel, const ImagePixelArea& area);
    // The device pixel ratio read once for the bytes being fed: no event
    // runs inside a parse, so the view cannot change screens there, and a
    // widget's ratio is looked up through the screens each time it is read.
    std::optional<double> feedScale_;
    bool kittyIsComposing_ = false;
    std::optional<PendingKittyKey> pendingKittyKeyEvent_;
    // The key being handled, so editing commands keep its modifiers.
    const KeyInput* currentKey_ = nullptr;
    // Modifier keys held down (bit n: key code KeyCode::rightCommand + n), so
    // releasing one of two Shift keys leaves Shift among the modifiers.
    uint16_t heldModifierKeys_ = 0;
    // Adjusts a key record's modifiers to the modifier keys held.
    void trackModifierKeys(KeyInput& input, bool isModifierKey);

    // Pointer, command and callback state (TerminalViewMouse.cpp,
    // TerminalViewCommands.cpp, TerminalViewCallbacks.cpp).
    void setupInteraction();
    void setupCommands();
    void placeFindBar();
    void mouseDown(const MouseReporter::Hit& hit, int clickCount, bool shift);
    void handlePress(QMouseEvent* event, bool doubleClick);
    void setTracking(bool on);
    void deregisterTrackingInterest();
    void markVisibleRowsDirty();
    void updateCommandEnablement();
    void resetProgressReportTimer();
    std::unique_ptr<MouseReporter> mouseReporter_;
    bool tracking_ = false;
    std::optional<std::string> lastReportedLink_;
    QLabel* urlPreview_ = nullptr;  // child widget while the command modifier is held
    // Click counting: the time and cell of the last press, and its count.
    uint64_t lastPressTime_ = 0;
    Position lastPressCell_;
    int clickCount_ = 0;
    // The cell a press without a selection landed on: a drag selects from there.
    std::optional<Position> dragAnchor_;
    TerminalFindBarView* findBar_ = nullptr;  // child widget
    std::unique_ptr<FindBarController> findBarController_;
    QAction* copyAction_ = nullptr;
    QAction* pasteAction_ = nullptr;
    QAction* selectAllAction_ = nullptr;
    QAction* findAction_ = nullptr;
    std::optional<uint8_t> lastProgressValue_;
    std::shared_ptr<DispatchWorkItem> progressReportTimer_;
    TerminalDebugView* debug_ = nullptr;  // child widget
    QObject* commandKeyWatcher_ = nullptr;
};

}  // namespace corvel
