// The emulator: one per session. It owns the normal and the alternate screen
// buffer and the parser, holds every mode and setting of the emulated VT/xterm
// terminal, its colours and titles, and reports to its host through a weakly
// held TerminalDelegate.
//
// Bytes from the program go in through feed(); the parser calls the command
// handlers below, which change the active buffer, widen the dirty range and
// call the host synchronously, skipping every call once the host is gone.
// Replies to the program leave through sendResponse(), one host `sendReply`
// per reply; mouse and focus reports, which the user's actions make, through
// the host's `send`.
//
// Everything runs on the thread that feeds the terminal; the only timer (the
// synchronized-output timeout) runs on DispatchQueue::main().
//
// The implementation is split by area: Terminal.cpp (construction, setup,
// reset, buffers, colours, replies, parser hook-up), TerminalDirty.cpp,
// TerminalSync.cpp, TerminalResize.cpp, TerminalTitles.cpp, TerminalPrint.cpp,
// TerminalCursor.cpp, TerminalErase.cpp, TerminalRectangles.cpp,
// TerminalModes.cpp, TerminalReports.cpp, TerminalWindow.cpp, TerminalOsc.cpp
// and TerminalImages.cpp. What only those files need (the parser, the image
// state, the print path's held-back input and similar) is declared here by
// name only and defined in TerminalInternals.h, so that an includer of this
// header compiles the screen model and the host interface, not the parser.
#pragma once

#include "corvel/screen/Attribute.h"
#include "corvel/screen/Buffer.h"
#include "corvel/screen/BufferLine.h"
#include "corvel/parser/CC.h"
#include "corvel/screen/CharData.h"
#include "corvel/screen/CharSets.h"
#include "corvel/screen/Color.h"
#include "corvel/terminal/CursorStyle.h"
#include "corvel/parser/ParserHandler.h"
#include "corvel/kitty/KittyKeyboardFlags.h"
#include "corvel/screen/Line.h"
#include "corvel/terminal/LinkLookupLocation.h"
#include "corvel/terminal/LinkMatch.h"
#include "corvel/terminal/LinkSearchMemo.h"
#include "corvel/screen/Position.h"
#include "corvel/terminal/ProgressReport.h"
#include "corvel/terminal/TerminalDelegate.h"
#include "corvel/terminal/TerminalOptions.h"
#include "corvel/terminal/TextEncoding.h"
#include "corvel/kitty/KittyGraphicsControl.h"
#include "corvel/kitty/KittyGraphicsPayload.h"
#include "corvel/kitty/KittyPlacementContext.h"
#include "corvel/kitty/KittyPlacementKey.h"
#include "corvel/kitty/KittyPlacementLines.h"
#include "corvel/kitty/KittyPlacementRecord.h"
#include "corvel/platform/Dispatch.h"

#include <algorithm>
#include <array>
#include <concepts>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace corvel {

// Behind the terminal, defined where they are used (TerminalInternals.h and
// the layers below).
class DispatchWorkItem;
class EscapeSequenceParser;
class KittyGraphicsState;
class KittyPlacementIndex;
class LogThrottle;
struct KittyPlacementContext;
struct ReadingBuffer;

class Terminal : private ParserHandler {
    // What only the implementation files see (TerminalInternals.h). Declared
    // first: the reference members below are bound to its parts.
    struct Internals;
    std::unique_ptr<Internals> internals_;

public:
    // A handler for one OSC number, registered by the host.
    using OscHandler = std::function<void(std::span<const uint8_t> data)>;

    // Control-sequence parameters (never empty: no parameter bytes give [0])
    // and intermediate / private-marker bytes, as the parser hands them over.
    using Params = std::span<const int64_t>;
    using Collect = std::span<const uint8_t>;

    enum class MouseMode : uint8_t { off, x10, vt200, buttonEventTracking, anyEvent };
    enum class MouseProtocolEncoding : uint8_t { x10, utf8, sgr, urxvt, sgrPixel };
    enum class TerminalConformance : uint8_t { vt100, vt200, vt300, vt400, vt500 };
    enum class BufferKind : uint8_t { active, normal, alt };
    enum class LinkLookupMode : uint8_t { explicitOnly, explicitAndImplicit };
    using LinkLookupLocation = corvel::LinkLookupLocation;
    using LinkMatch = corvel::LinkMatch;

    static constexpr bool sendMotionEvent(MouseMode mode) { return mode == MouseMode::anyEvent; }
    static constexpr bool sendsModifiers(MouseMode mode)
    {
        return mode == MouseMode::vt200 || mode == MouseMode::buttonEventTracking || mode == MouseMode::anyEvent;
    }

    // The Kitty keyboard flags of one screen and the stack of saved values.
    struct KeyboardModeState {
        KittyKeyboardFlags flags;
        std::vector<KittyKeyboardFlags> stack;
    };

    // An OSC 8 hyperlink that is open: where it started and its payload. The
    // row is scroll-invariant (linesTop + ring index), so it still names the
    // right line after the ring recycled lines while the link was open. What
    // moves rows otherwise (a scroll of the alternate screen or of a region,
    // ED 3, a resize) first marks the cells written so far and starts the
    // link again at the cursor; `atom` is the link's id once cells carry it.
    struct HyperLinkTracking {
        int startCol = 0;
        int64_t startRow = 0;
        std::string payload;
        std::optional<TinyAtom> atom;
    };

    // DCS $ q: the request for a setting report (TerminalInternals.h).
    class DECRQSS;

    static constexpr int MINIMUM_COLS = 2;
    static constexpr int MINIMUM_ROWS = 1;

    // The environment a child gets when its host names none (NAME=value entries).
    static std::vector<std::string> getEnvironmentVariables(const std::optional<std::string>& termName,
                                                            bool trueColor);

    explicit Terminal(std::weak_ptr<TerminalDelegate> delegate, const TerminalOptions& options = {});
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // ---- feeding: each hands the bytes to the parser and does nothing else ----

    void feed(std::span<const uint8_t> buffer);
    void feed(std::string_view text);
    void parse(std::span<const uint8_t> buffer) { feed(buffer); }

    // ---- size, buffers and reading ----

    int cols() const { return cols_; }
    int rows() const { return rows_; }
    std::pair<int, int> getDims() const { return {cols_, rows_}; }

    const TerminalOptions& options() const { return options_; }
    // Stores the options and does nothing else.
    void setOptions(const TerminalOptions& options) { options_ = options; }

    EscapeSequenceParser& parser() { return parser_; }

    // The active buffer: the normal or the alternate one.
    Buffer& buffer() { return *buffer_; }
    const Buffer& buffer() const { return *buffer_; }
    Buffer& normalBuffer() { return *normalBuffer_; }
    Buffer& altBuffer() { return *altBuffer_; }
    bool isCurrentBufferAlternate() const { return buffer_ == altBuffer_.get(); }

    // The line at viewport row `row` of the active buffer; null outside 0 ..< rows.
    BufferLine* getLine(int row);
    // The line with scroll-invariant number `row` (linesTop + ring index);
    // null when the active buffer no longer or not yet holds it.
    BufferLine* getScrollInvariantLine(int64_t row);
    // The cell at viewport column and row; absent outside the screen. A
    // column past a short line reads its last cell.
    std::optional<CharData> getCharData(int col, int row);
    // The text of that cell, grapheme ids resolved.
    std::optional<std::string> getCharacter(int col, int row);
    std::pair<int, int> getCursorLocation() const { return {buffer_->x(), buffer_->y()}; }
    int getTopVisibleRow() const { return buffer_->yDisp(); }

    const Attribute& currentAttribute() const { return curAttr; }
    KittyKeyboardFlags keyboardEnhancementFlags() const
    {
        return isCurrentBufferAlternate() ? keyboardModeAlt.flags : keyboardModeNormal.flags;
    }

    // ---- resets and buffer switching ----

    // Applies options(): size (at least 2 x 1) and every mode back to its
    // start. `isReset` false resizes the existing buffers in place (a host
    // that replaced the options of a live terminal); true makes a fresh
    // normal screen and clears the alternate one.
    void setup(bool isReset);

    // Full reset that keeps the current size and the cursor's visibility.
    void resetToInitialState();
    // RIS (ESC c): the parser back to ground, then resetToInitialState().
    void cmdReset();
    // A fresh normal buffer at the current size; all history is lost.
    void resetNormalBuffer();
    // Makes the normal buffer active, carrying the cursor over; with
    // `clearAlt` the alternate screen and its images are cleared.
    void activateNormalBuffer(bool clearAlt);
    // Makes the alternate buffer active, carrying the cursor over and filling
    // an empty screen with `fillAttr`.
    void activateAltBuffer(std::optional<Attribute> fillAttr = std::nullopt);
    // Resizes both buffers, keeping the normal buffer's saved cursor at the
    // same distance from its cursor. The caller sets cols and rows.
    void resizeBuffers(int newColumns, int newRows);

    // ---- size and scrollback (TerminalResize.cpp) ----

    // Clamps to 2 x 1; a change ends synchronized output, resizes both
    // buffers, keeps tab stops set within the old width and dirties the screen.
    void resize(int cols, int rows);
    // The normal buffer's scrollback in lines; absent means none.
    void changeScrollback(std::optional<int> lines);
    void changeHistorySize(std::optional<int> lines) { changeScrollback(lines); }

    // ---- dirty rows (TerminalDirty.cpp) ----

    // Widens the dirty range to screen row `y` (ignored when negative) and,
    // unless `scrolling`, the scroll-invariant range to y + yDisp.
    void updateRange(int64_t y, bool scrolling = false) { updateRange(*buffer_, y, scrolling); }
    // Inline: it runs for every cursor move and every printed run.
    void updateRange(const Buffer& borrowing, int64_t y, bool scrolling = false)
    {
        // A row above the screen names nothing to redraw, in either range.
        if (y < 0) return;
        if (!scrolling) {
            const int64_t invariant = y + borrowing.yDisp();
            if (invariant >= 0) {
                scrollInvariantRefreshStart_ = std::min(scrollInvariantRefreshStart_, invariant);
                scrollInvariantRefreshEnd_ = std::max(scrollInvariantRefreshEnd_, invariant);
            }
        }
        refreshStart_ = std::min(refreshStart_, y);
        refreshEnd_ = std::max(refreshEnd_, y);
    }
    void updateFullScreen();
    // (startY, endY), inclusive, or absent when nothing changed.
    std::optional<std::pair<int64_t, int64_t>> getUpdateRange() const;
    std::optional<std::pair<int64_t, int64_t>> getScrollInvariantUpdateRange() const;
    void clearUpdateRange();
    void refresh(int64_t startRow, int64_t endRow);

    // ---- synchronized output (TerminalSync.cpp) ----

    // What the host shows: the frozen copy while synchronized output holds
    // one, else the active buffer. Drawing, scrolling, hit-testing, selection
    // and text extraction for the host read this, never buffer().
    Buffer& displayBuffer() { return synchronizedOutputBuffer_ ? *synchronizedOutputBuffer_ : *buffer_; }
    bool isDisplayBufferAlternate() const
    {
        return synchronizedOutputBuffer_ ? synchronizedOutputBufferIsAlternate_ : isCurrentBufferAlternate();
    }
    bool synchronizedOutputActive() const { return synchronizedOutputActive_; }
    Buffer* synchronizedOutputBuffer() { return synchronizedOutputBuffer_.get(); }
    bool synchronizedOutputBufferIsAlternate() const { return synchronizedOutputBufferIsAlternate_; }
    double synchronizedOutputTimeoutSeconds = 1.0;
    // Before the live normal buffer's history lines are rewritten or dropped
    // other than by scrolling (trimming, erasing the scrollback, removing
    // images), the frozen copy takes its own copies of the history lines it
    // still reads through from the live buffer. Does nothing without such a
    // copy.
    void preserveSnapshotHistory();

    // ---- cursor visibility and titles (TerminalTitles.cpp) ----

    // The host hears only real changes.
    void showCursor();
    void hideCursor();
    // Store the title and pass it on to the host, changed or not. A title
    // longer than maxTitleBytes is cut there, on a character boundary.
    static constexpr size_t maxTitleBytes = 4096;
    void setTitle(const std::string& text);
    void setIconTitle(const std::string& text);

    // ---- colours ----

    const Color& foregroundColor() const { return foregroundColor_; }
    void setForegroundColor(const Color& color);
    const Color& backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const Color& color);
    const std::optional<Color>& cursorColor() const { return cursorColor_; }
    void setCursorColor(const std::optional<Color>& color);
    Ansi256PaletteStrategy ansi256PaletteStrategy() const { return options_.ansi256PaletteStrategy; }
    void setAnsi256PaletteStrategy(Ansi256PaletteStrategy strategy);
    // Ignored unless exactly 16 colours are given.
    void installPalette(std::span<const Color> colors);
    void rebuildAnsiPalette(bool notifyDelegate);
    // Undoes every palette change of the program (OSC 4).
    void resetAllColors();

    // ---- host-facing operations ----

    MouseMode mouseMode() const { return mouseMode_; }
    // Stores the mode and tells the host.
    void setMouseMode(MouseMode mode);
    // Reports focus gained or lost to the program while it asked for it (mode 1004).
    void setTerminalFocus(bool focused);
    // Registers the handler for an OSC number; it wins over the built-in commands.
    void registerOscHandler(int64_t code, OscHandler handler);
    // Releases the payload ids (hyperlink targets) and the grapheme-cluster
    // codes that no cell of either screen refers to any more, nor the frozen
    // copy of synchronized output while it is shown; both are handed out
    // again. Runs by itself when the tables grew, when the ring turned over,
    // after ED 3, RIS and a scrollback change, and on the main queue once the
    // terminal was idle for idleCollectionDelay.
    void garbageCollectPayload();
    static constexpr Nanos idleCollectionDelay = Nanos{5'000'000'000};
    // How many grapheme-cluster codes are handed out now.
    size_t clusterCodeCount() const { return indexToCharMap_.size(); }
    // The cluster table never holds more codes than this; a cluster past it
    // prints as U+FFFD.
    static constexpr size_t maxClusterCodes = size_t{1} << 20;
    // An OSC 8 URI longer than this opens no link.
    static constexpr size_t maxHyperlinkUriBytes = 8192;

    // ---- replies: one host `sendReply` per call ----

    // Builds one reply from byte spans and vectors, strings and single bytes,
    // in order, and sends it (also when empty) while a host is attached.
    template <class... Items>
    void sendResponse(const Items&... items)
    {
        // Room for any ordinary reply, so building one allocates once.
        std::vector<uint8_t> reply;
        reply.reserve(64);
        (appendResponseItem(reply, items), ...);
        sendBytes(reply);
    }
    void sendResponseText(std::string_view text);

    // Prints "Info: " and the message while `silentLog` is false, through
    // diagnostics_, which holds back repeats.
    void log(std::string_view message) const;

    // Calls `call` with the host while one is attached; a host that is gone
    // is skipped.
    template <class F>
    void withDelegate(F&& call)
    {
        if (feedDelegate_) {
            call(*feedDelegate_);
        } else if (auto delegate = tdel_.lock()) {
            call(*delegate);
        }
    }

    // ---- print path (TerminalPrint.cpp) ----

    void handlePrint(std::span<const uint8_t> data);
    // The cell code of a character (UTF-8): ASCII and BMP scalars are their
    // value; anything else is interned as a grapheme id.
    int32_t code(std::string_view character);
    int32_t code(char32_t scalar);
    // The character (UTF-8) of a cell code; a space when unknown.
    std::string character(int32_t code) const;
    std::string getCharacter(const CharData& cell) const { return character(cell.code); }
    // A cell with the attribute, the code (given, or that of the character or
    // scalar) and the width; no payload. A width outside -128...127 stops the
    // process.
    CharData makeCharData(const Attribute& attribute, int32_t code, int size);
    CharData makeCharData(const Attribute& attribute, std::string_view character, int size);
    CharData makeCharData(const Attribute& attribute, char32_t scalar, int size);
    // Replace code and width in place, keeping attribute and payload.
    void updateCharData(CharData& cell, std::string_view character, int size);
    void updateCharData(CharData& cell, int32_t code, int size);
    void setgLevel(uint8_t g);
    void setgCharset(uint8_t g, const CharSet* set);
    // SCS: the intermediate byte followed by the designator.
    void selectCharset(std::span<const uint8_t> p);
    // DOCS: back to G0 with no character set designated.
    void cmdSelectCodingSystem();

    // ---- C0 controls, cursor movement and scrolling (TerminalCursor.cpp) ----

    void cmdBell();
    void cmdBackspace();
    void cmdHorizontalTab();  // HT
    void cmdLineFeedBasic();
    void cmdCarriageReturn();
    void cmdIndex();
    void cmdNextLine();  // NEL
    void reverseIndex();
    // Tells the host about a line feed, nothing else.
    void emitLineFeed();
    // Scrolls the scroll region up one line (the buffer's scroll callback).
    void scroll(bool isWrapped);
    // Clamps the cursor into the screen (or the region in origin mode);
    // `limitCol` false lets it rest one past the last column.
    void restrictCursor(bool limitCol = true);
    // Places the cursor at (col, row) of the screen, or of the scroll region
    // and margins in origin mode, clamped as restrictCursor clamps. Inline for
    // the common case outside origin mode: full-screen programs place the
    // cursor before nearly every run they print.
    void setCursor(int col, int row)
    {
        if (!originMode && col >= 0 && row >= 0) [[likely]] {
            Buffer& b = *buffer_;
            const int from = b.y();
            const int to = std::min(row, rows_ - 1);
            b.setX(std::min(col, cols_ - 1));
            b.setY(to);
            // Both rows are marked; once when the cursor stays on its row.
            updateRange(b, from);
            if (to != from) updateRange(b, to);
            return;
        }
        setCursorClamped(col, row);
    }
    void setCursorClamped(int col, int row);
    void cmdCursorUp(Params pars);
    void cmdCursorDown(Params pars);
    void cmdCursorNextLine(Params pars);       // CNL
    void cmdCursorPrecedingLine(Params pars);  // CPL
    void cursorForward(int64_t count);
    void cursorBackward(int64_t count);
    void cmdCursorCharAbsolute(Params pars);
    void cmdCharPosAbsolute(Params pars);
    // CUP; inline with setCursor.
    void cmdCursorPosition(Params pars)
    {
        const int64_t row = std::max<int64_t>(pars.empty() ? 0 : pars[0], 1) - 1;
        const int64_t col = std::max<int64_t>(pars.size() > 1 ? pars[1] : 0, 1) - 1;
        // The narrowing keeps huge parameters far outside, for setCursor to clamp.
        setCursor(static_cast<int>(std::min<int64_t>(col, cols_)), static_cast<int>(std::min<int64_t>(row, rows_)));
    }
    void cmdHVPosition(Params pars);
    void cmdHPositionRelative(Params pars);
    void cmdLinePosAbsolute(Params pars);
    void cmdVPositionRelative(Params pars);
    void cmdScrollUp(Params pars);
    void cmdScrollDown(Params pars);
    void cmdTabClear(Params pars);
    void cmdTabSet();                         // HTS
    void cmdCursorForwardTab(Params pars);   // CHT
    void cmdCursorBackwardTab(Params pars);  // CBT
    // CSI T: SD, or with '>' resets title modes.
    void csiScrollDownOrTitleModes(Params pars, Collect collect);
    // CSI s: DECSLRM while margin mode is on, else SCOSC.
    void csiSaveCursorOrMargins(Params pars, Collect collect);
    // CSI u: the keyboard protocol, else SCORC.
    void csiRestoreCursorOrKeyboard(Params pars, Collect collect);
    void csiPHandler(Params pars, Collect collect);
    void cmdSetCursorStyle(Params pars, Collect collect);
    void cmdSetScrollRegion(Params pars, Collect collect);
    void cmdSetMargins(Params pars, Collect collect);
    void cmdSaveCursor(Params pars, Collect collect);
    void cmdRestoreCursor(Params pars, Collect collect);
    void columnIndex(bool back);
    void columnScroll(bool back, int at);
    void setCursorStyle(CursorStyle style);
    void cmdSetConformanceLevel(Params pars);
    // DECSTR; softReset() is the same.
    void cmdSoftReset();
    void softReset();

    // ---- erase, insert and delete (TerminalErase.cpp) ----

    // Screen row `y` becomes erase cells and stops continuing the row above.
    void resetBufferLine(int y, bool clearImages);
    void cmdInsertChars(Params pars);
    // ED. Erasing the scrollback (ED 3) while synchronized output is on must
    // call preserveSnapshotHistory() before it drops lines.
    void cmdEraseInDisplay(Params pars);
    void cmdEraseInLine(Params pars);
    void cmdInsertLines(Params pars);
    void cmdDeleteLines(Params pars);
    void cmdDeleteChars(Params pars);
    void cmdEraseChars(Params pars);
    void cmdRepeatPrecedingCharacter(Params pars);
    void csiCloseBrace(Params pars, Collect collect);
    void cmdDeleteColumns(Params pars);

    // ---- rectangles and line attributes (TerminalRectangles.cpp) ----

    void csiCopyRectangularArea(Params pars, Collect collect);
    void csiX(Params pars, Collect collect);
    void csiZ(Params pars, Collect collect);
    void csiOpenBrace(Params pars, Collect collect);
    void cmdDECRQCRA(Params pars);
    void setLineRenderMode(BufferLine::RenderLineMode mode);
    void cmdScreenAlignmentPattern();

    // ---- modes and character attributes (TerminalModes.cpp) ----

    void cmdSetMode(Params pars, Collect collect);
    void cmdResetMode(Params pars, Collect collect);
    void setMode(int64_t par, Collect collect);
    void resetMode(int64_t par, Collect collect);
    void cmdCsiM(Params pars, Collect collect);
    // SGR proper: the body of cmdCsiM once no intermediates were given.
    void cmdCharAttributes(Params pars);

    // ---- reports (TerminalReports.cpp) ----

    void cmdDeviceStatus(Params pars, Collect collect);
    void cmdSendDeviceAttributes(Params pars, Collect collect);
    void cmdDecRqm(Params pars, bool decMode);
    // Whether CSI u was a keyboard-protocol command, now handled.
    bool handleKittyKeyboardProtocol(Params pars, Collect collect);

    // ---- window manipulation (TerminalWindow.cpp) ----

    void cmdWindowOptions(Params pars);
    // CSI t: XTWINOPS, or with '>' sets title modes.
    void csiWindowOpsOrTitleModes(Params pars, Collect collect);
    // XTSMTITLE / XTRMTITLE: the title modes named in `pars` take `value`.
    void setTitleModes(Params pars, bool value);
    // The title stacks keep this many entries; a push past it drops the oldest.
    static constexpr size_t maxTitleStackDepth = 10;

    // ---- mouse reports (TerminalMouse.cpp) ----

    // The button code of a report: 0 primary, 1 middle, 2 secondary, 64 and
    // 65 the wheel, 3 for any release; plus 4 shift, 8 meta and 16 control in
    // the modes that send modifiers.
    int encodeButton(int button, bool release, bool shift, bool meta, bool control) const;
    // Encodes one report in `mouseProtocol` and sends it. `x` and `y` are the
    // 0-based cell on the screen shown, `pixelX` and `pixelY` the pointer in
    // the view. A report whose values the encoding cannot carry is dropped.
    void sendEvent(int buttonFlags, int x, int y, int pixelX, int pixelY);
    void sendEvent(int buttonFlags, int x, int y) { sendEvent(buttonFlags, x, y, x, y); }
    // sendEvent with the motion bit (32) added.
    void sendMotion(int buttonFlags, int x, int y, int pixelX, int pixelY);
    // Appends one value (not negative) in the mode-1005 form.
    static void encodeMouseUtf(std::vector<uint8_t>& data, int ch);

    // ---- text extraction (TerminalText.cpp) ----

    // Every line of the buffer's ring, oldest first, each followed by 0x0A.
    std::vector<uint8_t> getBufferAsData(BufferKind kind = BufferKind::active,
                                         TextEncoding encoding = TextEncoding::utf8);
    // The text between two buffer positions (either order; the end column is
    // exclusive) of the active buffer, wrapped rows joined, other row breaks
    // as line feeds, trailing blanks of each row left out.
    std::string getText(Position start, Position end);
    // The same, read from displayBuffer().
    std::string getDisplayText(Position start, Position end);
    // The text of columns start ..< end (-1: the whole line) of ring index `line`.
    std::string translateBufferLineToString(Buffer& buffer, int line, int start, int end);
    // The logical lines between two ordered positions inside the ring.
    std::vector<Line> _getSelectedLines(Position start, Position end, Buffer& buffer);

    // ---- link detection (TerminalLinks.cpp) ----

    // The link under a cell of displayBuffer(): an OSC 8 hyperlink first,
    // then, in `explicitAndImplicit` mode, text that looks like a URL or path.
    std::optional<LinkMatch> linkMatch(LinkLookupLocation at, LinkLookupMode mode);
    std::optional<std::string> link(LinkLookupLocation at, LinkLookupMode mode);
    // The location as a buffer position clamped into the buffer; absent for
    // an empty ring.
    std::optional<Position> resolveLinkLocation(LinkLookupLocation at, const Buffer& buffer) const;
    std::optional<LinkMatch> explicitLinkMatch(Position at, Buffer& buffer);
    std::optional<LinkMatch> implicitLinkMatch(Position at, Buffer& buffer);

    // ---- OSC commands (TerminalOsc.cpp) ----

    void oscSetTitle(std::span<const uint8_t> data);
    void oscSetIconTitle(std::span<const uint8_t> data);
    void oscChangeOrQueryColorIndex(std::span<const uint8_t> data);
    // Whether the payload was a progress report, now passed to the host.
    bool oscProgressReport(std::span<const uint8_t> data);
    void oscClipboard(std::span<const uint8_t> data);
    void oscResetCursorColor();
    void oscSetCurrentDocument(std::span<const uint8_t> data);
    void oscSetCurrentDirectory(std::span<const uint8_t> data);
    void oscHyperlink(std::span<const uint8_t> data);
    std::optional<ProgressReport> parseProgressReport(std::span<const uint8_t> data);
    void oscSetColors(std::span<const uint8_t> data, int startAt);
    void oscResetColor(std::span<const uint8_t> data);
    void oscNotification(std::span<const uint8_t> data);
    void osciTerm2(std::span<const uint8_t> data);
    // The URI of a stored OSC 8 payload (a std::string in the cell's payload):
    // the text after its first ';', or none without one.
    static std::optional<std::string> parseHyperlinkPayload(std::string_view text);

    // ---- inline images (TerminalImages.cpp) ----

    // An APC string whose first byte is 'G'; `bytes` is the rest.
    void handleKittyGraphics(std::span<const uint8_t> bytes);
    // The decoder for a DCS q (sixel) string; its image goes to the host.
    std::unique_ptr<DcsHandler> makeSixelDcsHandler();
    // Reset: every image on the lines of the current and then the alternate
    // buffer (only the alternate one while it is current), and every image,
    // number and placement record of the store. Id counters keep counting.
    void clearAllKittyImages();
    // Erase of the whole display: the same, except that on the lines only
    // Kitty images go, so sixel and other inline images in the scrollback stay.
    void clearKittyStateForErase();
    // The Kitty placements of `buffer` (its line images and the records made
    // on it) go, then the stored images nothing shows any more.
    void clearKittyImages(Buffer& buffer, bool isAlternateBuffer);
    // After a scroll of the current buffer: record rows follow lines that
    // moved up when a full ring dropped its oldest line (those at or above
    // line index `shiftedThrough`, -1 for none), and relative placements
    // whose parents moved apart from them (lines of a scroll region, or of
    // insert and delete lines, since the last scroll) follow their parents.
    // After a scroll that moved every line alike (`uniform`) the rows' shift
    // is only counted (see settleKittyRecordRows).
    void updateKittyRelativePlacementsForCurrentBuffer(int64_t shiftedThrough = -1, bool uniform = false);
    // Brings every record's row and column to where its line images are
    // now, for both buffers, walking every line: for lines that moved
    // without being followed (a resize that rewrapped them).
    void refreshKittyRecordPositions();
    // Where a new placement with a parent (P and Q) goes; absolute without.
    KittyPlacementOrigin resolveKittyPlacementOrigin(const KittyGraphicsControl& control);
    // Stores a placement record (replacing the key's), then drops the oldest
    // records with their line images while more than the placement limit are
    // kept.
    void storeKittyPlacementRecord(KittyPlacementRecord record);
    // Removes one placement: its line images in both buffers and its record.
    void removeKittyPlacement(uint32_t imageId, uint32_t placementId);
    // Removes the Kitty line images the predicate selects from lines
    // first ..< last of `buffer`, redrawing the screen rows they were on;
    // the keys of the removed images.
    std::unordered_set<KittyPlacementKey> removeKittyPlacements(
        Buffer& buffer, int64_t first, int64_t last,
        const std::function<bool(const KittyPlacementImage&, int64_t)>& predicate);
    // Frees the stored images that no record and no line image shows.
    void cleanupUnusedKittyImages();

    // ---- what the lines keep to draw (TerminalLineImages.cpp) ----

    // Runs a host's insertion of one image (the strips it attaches make one
    // picture), then drops the earlier picture the new one hides in the same
    // cells and, past the line image limit, the oldest pictures. An exception
    // from the insertion closes the picture, takes its strips off the lines
    // and passes on.
    void insertLinePicture(const std::function<void()>& insert);
    // The account of the images on the lines of both buffers.
    const LineImageLedger& lineImages() const { return lineImages_; }
    // How many times a full ring of the current buffer has renumbered its
    // lines by dropping the oldest. A line index taken before a scroll is
    // brought up to date by subtracting the growth of this count.
    int64_t lineShiftCount() const { return lineShiftCount_; }
    // Moves the record rows of both buffers by the lines a full ring dropped
    // since they were last brought up to date, and drops the records of
    // normal placements whose lines all left the buffer. A scroll that
    // renumbers every line alike only counts the dropped line, so it costs
    // the same with or without records; whatever reads every record calls
    // this first, whatever reads one record brings that one up to date, and
    // every feed ends with it, so records are never seen stale.
    void settleKittyRecordRows();

    // ---- state: the modes and settings that handlers change and hosts read ----

    bool applicationKeypad = false;
    bool applicationCursor = false;
    KeyboardModeState keyboardModeNormal;
    KeyboardModeState keyboardModeAlt;
    bool sendFocus = false;
    bool cursorHidden = false;
    bool originMode = false;
    bool marginMode = false;
    bool insertMode = false;
    bool wraparound = false;
    bool bracketedPasteMode = false;
    // The character set invoked into GL (null: none) and the four designations.
    const CharSet* charset = nullptr;
    std::array<const CharSet*, 4> gCharsets{};
    uint8_t gcharset = 0;
    bool reverseWraparound = false;
    Attribute curAttr = Attribute::empty;
    uint8_t gLevel = 0;
    bool cursorBlink = false;
    bool allow80To132 = true;
    KittyGraphicsState& kittyGraphicsState;
    std::optional<KittyPlacementContext>& kittyPlacementContext;
    bool userScrolling = false;
    bool lineFeedMode = false;
    bool smoothScroll = false;
    std::vector<Color> installedColors;
    std::vector<Color> defaultAnsiColors;
    std::vector<Color> ansiColors;
    CC cc;
    std::optional<std::string> hostCurrentDirectory;
    std::optional<std::string> hostCurrentDocument;
    MouseProtocolEncoding mouseProtocol = MouseProtocolEncoding::x10;
    bool xtermTitleSetUtf = false;
    bool xtermTitleSetHex = false;
    bool xtermTitleQueryUtf = false;
    bool xtermTitleQueryHex = false;
    TerminalConformance conformance = TerminalConformance::vt500;
    int lastBufferCol = 0;
    std::optional<HyperLinkTracking> hyperLinkTracking;
    // Log lines are printed only while this is false.
    bool silentLog = true;
    std::string terminalTitle;
    std::string iconTitle;
    std::vector<std::string> terminalTitleStack;
    std::vector<std::string> terminalIconStack;
    int tabStopWidth = 8;

private:
    // ---- construction and setup (Terminal.cpp) ----

    // ---- the parser's calls (Terminal.cpp); unknown sequences become log lines ----

    void print(std::span<const uint8_t> data) override;
    void printStateReset() override;
    void execute(uint8_t code) override;
    void csiDispatch(uint8_t code, Params pars, Collect collect) override;
    void escDispatch(Collect collect, uint8_t code) override;
    void oscDispatch(int64_t code, std::span<const uint8_t> data) override;
    void apcDispatch(uint8_t command, std::span<const uint8_t> content) override;
    std::unique_ptr<DcsHandler> dcsHook(Collect collect, uint8_t final) override;
    ParsingState parseError(ParsingState state) override;
    // Prints the line whatever `silentLog` says, through diagnostics_ like log().
    void logAlways(std::string_view line) const;

    std::unique_ptr<Buffer> makeNormalBuffer();
    void installScrollCallback(Buffer& buffer);
    // While margin mode is off, both screens' margins span the full width.
    void fitMarginsToWidth();
    std::vector<Color> buildPalette() const;

    // ---- synchronized output (TerminalSync.cpp) ----

    void beginSynchronizedOutput();
    void endSynchronizedOutput();
    void scheduleSynchronizedOutputTimeout();
    std::unique_ptr<Buffer> snapshotBuffer(Buffer& source);
    // The frozen copy is about to lose the live line at ring index 0 to a
    // scroll of a full ring: it keeps its own copy of it first.
    void preserveOldestLineForSnapshot();

    // ---- delegate and replies ----

    void sendBytes(std::span<const uint8_t> bytes);
    // A report of the user's action (mouse, focus): CSI and `report`.
    void sendUserReport(std::span<const uint8_t> report);

    static void appendResponseItem(std::vector<uint8_t>& out, uint8_t byte) { out.push_back(byte); }
    static void appendResponseItem(std::vector<uint8_t>& out, std::span<const uint8_t> bytes)
    {
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    static void appendResponseItem(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes)
    {
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    static void appendResponseItem(std::vector<uint8_t>& out, std::string_view text)
    {
        out.insert(out.end(), text.begin(), text.end());
    }
    template <size_t N>
    static void appendResponseItem(std::vector<uint8_t>& out, const std::array<uint8_t, N>& bytes)
    {
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    // A reply is made of bytes and text only; anything else is a mistake
    // that must not compile (an int would otherwise slip in as one byte).
    template <class T>
        requires(!std::convertible_to<const T&, std::string_view> &&
                 !std::convertible_to<const T&, std::span<const uint8_t>>)
    static void appendResponseItem(std::vector<uint8_t>&, const T&)
    {
        static_assert(sizeof(T) == 0, "sendResponse takes byte spans, byte vectors, strings and uint8_t");
    }

    // ---- print helpers (TerminalPrint.cpp) ----

    void printScalar(Buffer& buffer, char32_t scalar, int width);
    int32_t intern(std::string_view character);
    // Frees the cluster codes no cell refers to (see garbageCollectPayload).
    void collectUnusedClusters();
    // Lines left the ring (recycled or trimmed): once a whole ring's worth
    // went, the codes they held are collected when the bytes being fed are
    // done. A scroll can fall between working out a cell's code and storing
    // it, so it never collects cluster codes itself.
    void noteLinesDropped(int64_t count);
    // The payload ids part of garbageCollectPayload; safe anywhere, as ids
    // are taken only where they are stored.
    void collectPayloadIds();
    void scheduleIdleCollection();
    // Adds `scalar` to the text of the cell at (col, ring index ringRow) when
    // the result is still one character; false when it is not.
    bool joinToCell(Buffer& target, BufferLine* line, int64_t ringRow, int col, char32_t scalar);

    // ---- open hyperlinks (TerminalOsc.cpp) ----

    // Marks the cells written since the open link started, up to the cell
    // left of the cursor, or to the end of the cursor's row when
    // `throughRowEnd` (a wrap is about to move the cursor on).
    void markOpenHyperlink(bool throughRowEnd);
    // The open link starts again at the cursor.
    void restartOpenHyperlink();

    // ---- cursor helpers (TerminalCursor.cpp) ----

    // Foreground default, background of the current attribute, no style.
    Attribute eraseAttribute() const;
    // The margins in effect: the buffer's in margin mode, else the full width.
    int leftMargin() const;
    int rightMargin() const;
    bool marginsNarrowerThanScreen() const;
    // Whether the cursor rests one column past a right margin inside the
    // screen because text was written up to it: the wrap the full width
    // marks with a cursor past the last column.
    bool wrapPendingAtMargin() const;
    BufferLine& cursorLine();
    // Moves the lines at ring indices first...last one place up (or down);
    // the line pushed out enters at the other end, filled with `fill`, not
    // wrapped, single width and without images, and is returned.
    BufferLine& rotateLines(int64_t first, int64_t last, bool up, const CharData& fill);
    // Moves the cells left...right of screen rows top...bottom `count` rows
    // up (or down), filling the rows left behind; `resetLines` also clears
    // each row's wrap flag, render mode and images.
    void moveStrips(int top, int bottom, int left, int right, int64_t count, bool up, const CharData& fill,
                    bool resetLines);

    // ---- Kitty graphics (TerminalImages.cpp) ----

    // Runs one complete command (chunks joined) by its action letter.
    void processKittyGraphics(const KittyGraphicsControl& control, std::span<const uint8_t> base64Payload);
    // Actions t (display false) and T: load, store under i or an assigned id, reply.
    void handleKittyTransmit(const KittyGraphicsControl& control, std::span<const uint8_t> base64Payload,
                             bool display);
    // Action p: shows a stored image found by I or i.
    void handleKittyPut(const KittyGraphicsControl& control);
    // Hands the image to the host; true when it was shown.
    bool displayKittyImage(const KittyGraphicsPayload& payload, const KittyGraphicsControl& control,
                           std::optional<uint32_t> imageId, std::optional<uint32_t> imageNumber);
    // The two reply writers; both are silent while the control's q is non-zero.
    void sendKittyOk(const KittyGraphicsControl& control, std::optional<uint32_t> imageId,
                     std::optional<uint32_t> imageNumber, std::optional<uint32_t> placementId);
    void sendKittyError(const KittyGraphicsControl& control, std::string_view message);
    // Actions d and D: removes the placements the selector names; an
    // upper-case selector then frees the images nothing shows.
    void handleKittyDelete(const KittyGraphicsControl& control);
    // The three steps every deletion takes: the Kitty line images the line
    // predicate selects (in both buffers, or the current one, optionally only
    // lines first ..< last), the records the record predicate selects, then
    // the line images of selected records whose images were not met.
    void removeKittyPlacementsAndRecords(bool bothBuffers, std::optional<std::pair<int64_t, int64_t>> lines,
                                         const std::function<bool(const KittyPlacementImage&, int64_t)>& onLine,
                                         const std::function<bool(const KittyPlacementRecord&)>& onRecord);
    // Line images of these keys in both buffers, walking every line; the keys met.
    std::unordered_set<KittyPlacementKey> removeKittyPlacementsByKey(const std::unordered_set<KittyPlacementKey>& keys);
    // Marks for redraw the screen rows of the lines a removal changed, when
    // they are the current buffer's.
    void redrawKittyRemoval(Buffer& target, const KittyLineRemoval& removal);
    // The line images of one placement: on the lines its record names, or
    // for a key whose images may lie elsewhere, on every line.
    void removeKittyLineImagesOf(const KittyPlacementKey& key, const KittyPlacementRecord* record);
    // Every record goes, and all that was kept beside them.
    void forgetKittyPlacementRecords();
    // After the records went while the normal screen's images stayed: those
    // images are found by walking.
    void keepTrackOfKittyImagesLeft();
    // The index beside the records, rebuilt (with the resolved positions
    // forgotten) when the records changed behind its back.
    KittyPlacementIndex& kittyIndex();
    // The record of `key` with its row up to date; null without one.
    KittyPlacementRecord* settledKittyRecord(const KittyPlacementKey& key);
    // Applies what its buffer's counted shift still owes one record.
    void settleKittyRecord(KittyPlacementRecord& record);
    // Erases one record, forgetting what was resolved through it.
    void eraseKittyRecord(const KittyPlacementKey& key);
    // Drops the oldest records (not `keep`) and their line images while
    // more than the placement limit are kept.
    void enforceKittyPlacementLimit(const KittyPlacementKey& keep);
    // Forgets the resolved positions of `key` and of every placement
    // relative to it, directly or through others.
    void forgetKittyResolved(const KittyPlacementKey& key);
    // Where the placement `key` of the current buffer belongs, resolved
    // through its parents (remembered until something they rest on moves).
    std::optional<KittyPlacementPosition> resolveKittyPosition(const KittyPlacementKey& key);
    // The record of a placement with images on lines of the current buffer
    // that move: its relatives are to follow it, and what was resolved
    // through it is forgotten. Null when its images are found only by
    // walking (they lie off its record's lines, or it has none).
    KittyPlacementRecord* movingKittyRecord(const KittyPlacementKey& key);
    // Lines first ..= last of the current buffer are about to rotate by one
    // (up: the first leaves, the rest move up; down: the last leaves): the
    // records of placements on them follow, those on the leaving line alone
    // go, and placements the region cuts through are looked for by walking
    // from now on.
    void followKittyRotation(int64_t first, int64_t last, bool up);
    // Lines below line `through` of the current buffer stay while those at
    // or above it move (`delta` 0: a full ring drops its oldest), or move
    // down one line (`delta` 1) while those above stay: records follow, and
    // placements cut through are looked for by walking from now on.
    void followKittyLinesBelow(int64_t through, int64_t delta);
    // Relative placements whose own lines, or whose parents' (directly or
    // through others), moved apart since the last call follow their parents.
    void followKittyParents();
    // Moves every record row of one buffer at or above `through` by `delta`
    // (after the buffer's counted shift).
    void shiftKittyRecordRows(bool isAlternateBuffer, int64_t through, int64_t delta);
    // Counts one line a full ring of a buffer dropped, moving records at or
    // above `through` up one line once they are settled.
    void deferKittyRecordShift(bool isAlternateBuffer, int64_t through);
    // Applies the counted shift of one buffer's records.
    void settleKittyRecordRows(bool isAlternateBuffer);
    // Puts the cursor after a normal placement shown at (originCol,
    // originLine) as the placement's keys ask.
    // Takes a picture's strips off the lines (a Kitty placement with its
    // record) and forgets it; the bytes it was charged.
    int64_t dropLinePicture(uint64_t serial);
    // Drops the picture that picture `serial` was drawn over, when every
    // pixel of it is hidden.
    void dropHiddenLinePicture(uint64_t serial);
    void enforceLineImageLimit(uint64_t keep);

    void placeCursorAfterKittyImage(const KittyGraphicsControl& control, const KittyPlacementContext& context,
                                    int64_t originCol, int64_t originLine, int savedX, int savedY,
                                    std::optional<std::pair<int64_t, int64_t>> pixelSize);

    // ---- character attributes (TerminalSgr.cpp) ----

    // Logs an SGR code this terminal does not know, through diagnostics_.
    void reportUnknownSgr(int64_t code, Params pars);

    // ---- fields ----

    int cols_ = 80;
    int rows_ = 25;
    TerminalOptions options_;
    // Before the buffers: their lines' images point at its tally.
    LineImageLedger lineImages_;
    std::unique_ptr<Buffer> normalBuffer_;
    std::unique_ptr<Buffer> altBuffer_;
    Buffer* buffer_ = nullptr;
    int64_t lineShiftCount_ = 0;
    // Per buffer (0 normal, 1 alternate): the lines a full ring dropped whose
    // shift its records have not had yet. The records at or above line
    // `through` when the first of them dropped move up `count` lines; each
    // later drop through the same line moves exactly those again, so one
    // count stands for them all. A drop through another line settles first.
    struct KittyRecordShift {
        int64_t count = 0;
        int64_t through = 0;
    };
    std::array<KittyRecordShift, 2> kittyRecordShifts_{};
    // Resolved positions of placements of one buffer, kept across calls
    // while nothing they rest on moves: a long chain of relative placements
    // resolves each new member from its parent alone.
    KittyResolvedPositions kittyResolved_;
    bool kittyResolvedAlternate_ = false;
    // Placements moved apart from the rest since the last scroll; their
    // relatives follow at the next one.
    std::unordered_set<KittyPlacementKey> kittyMovedPlacements_;

    bool synchronizedOutputActive_ = false;
    std::unique_ptr<Buffer> synchronizedOutputBuffer_;
    bool synchronizedOutputBufferIsAlternate_ = false;
    std::shared_ptr<DispatchWorkItem>& synchronizedOutputTimeoutItem_;
    // The history lines the frozen copy has not copied yet: ring indices
    // 0 ..< snapshotLazyEnd_ of the copy, read through from the live normal
    // buffer by scroll-invariant number while snapshotSource_ is set.
    Buffer* snapshotSource_ = nullptr;
    int64_t snapshotLazyEnd_ = 0;
    int64_t snapshotLinesTop_ = 0;

    std::weak_ptr<TerminalDelegate> tdel_;
    // The host while feed() holds it locked; null outside a feed.
    TerminalDelegate* feedDelegate_ = nullptr;
    // Looked up by string_view, so finding the id of a character copies nothing.
    struct TextHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    std::unordered_map<std::string, int32_t, TextHash, std::equal_to<>> charToIndexMap_;
    std::unordered_map<int32_t, std::string> indexToCharMap_;
    int32_t lastCharIndex_ = CharData::firstGraphemeId;
    // Codes already worked out, so printing the same characters again neither
    // re-reads nor re-interns text: (the code of a cell, a scalar that joined
    // it) to the code of the joined character, and (0, a scalar outside the
    // BMP) to that scalar's code. Only successful joins are kept, one per
    // interned character.
    std::unordered_map<uint64_t, int32_t> knownCodes_;
    // OSC handlers the host registered; they win over the built-in commands.
    std::unordered_map<int64_t, OscHandler> oscHandlers_;
    // Cluster codes freed by a collection, handed out again first.
    std::vector<int32_t> freeClusterCodes_;
    // A new code is interned only after a collection once the table holds this many.
    size_t clusterCollectionAt_ = 0;
    // Payload ids taken since the last collection, and those it kept.
    int payloadIdsTaken_ = 0;
    int payloadIdsKept_ = 0;
    int64_t linesDroppedSinceCollection_ = 0;
    bool collectionDue_ = false;
    DispatchWorkItemPtr idleCollectionItem_;
    bool fedSinceIdleCheck_ = false;
    EscapeSequenceParser& parser_;

    int64_t refreshStart_ = std::numeric_limits<int64_t>::max();
    int64_t refreshEnd_ = -1;
    int64_t scrollInvariantRefreshStart_ = std::numeric_limits<int64_t>::max();
    int64_t scrollInvariantRefreshEnd_ = -1;

    bool settingFgColor_ = false;
    bool settingBgColor_ = false;
    bool settingCursorColor_ = false;
    Color foregroundColor_ = Color::defaultForeground;
    Color backgroundColor_ = Color::defaultBackground;
    std::optional<Color> cursorColor_;
    MouseMode mouseMode_ = MouseMode::off;
    // The button of the last press reported, named again by SGR releases.
    int lastMousePressButton_ = 0;
    ReadingBuffer& readingBuffer_;
    BufferLine blankLine_{0};
    // Holds back repeats of the log lines a program's output causes.
    LogThrottle& diagnostics_;
    // The latest searches of implicit link lookup (TerminalLinks.cpp).
    LinkSearchMemo linkSearchMemo_;

    // Shared with the timeout work item and the buffers' scroll callbacks,
    // which reach the terminal only while it lives.
    std::shared_ptr<Terminal*> self_;
};

}  // namespace corvel
