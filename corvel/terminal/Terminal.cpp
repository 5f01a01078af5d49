#include "corvel/terminal/Terminal.h"
#include "corvel/terminal/TerminalDispatch.h"
#include "corvel/terminal/TerminalInternals.h"

#include "corvel/terminal/ListForm.h"
#include "corvel/terminal/TerminalEnvironment.h"

#include <algorithm>
#include <string>
#include <utility>

namespace corvel {

std::vector<std::string> Terminal::getEnvironmentVariables(const std::optional<std::string>& termName, bool trueColor)
{
    return corvel::getEnvironmentVariables(termName, trueColor);
}

Terminal::Terminal(std::weak_ptr<TerminalDelegate> delegate, const TerminalOptions& options)
    : internals_(std::make_unique<Internals>(static_cast<ParserHandler*>(this))),
      kittyGraphicsState(internals_->kittyGraphicsState),
      kittyPlacementContext(internals_->kittyPlacementContext),
      options_(options),
      synchronizedOutputTimeoutItem_(internals_->synchronizedOutputTimeoutItem),
      tdel_(std::move(delegate)),
      parser_(internals_->parser),
      readingBuffer_(internals_->readingBuffer),
      diagnostics_(internals_->diagnostics),
      self_(std::make_shared<Terminal*>(this))
{
    // A width of 0 would leave the tab stops undefined; the option is the
    // distance between default stops.
    tabStopWidth = std::max(options_.tabStopWidth, 1);
    // The buffers are made at the size setup settles on, so the default tab
    // stops reach across the whole width from the start.
    cols_ = std::max(options_.cols, MINIMUM_COLS);
    rows_ = std::max(options_.rows, MINIMUM_ROWS);

    installedColors.assign(Color::terminalAppColors.begin(), Color::terminalAppColors.end());
    defaultAnsiColors = buildPalette();
    ansiColors = defaultAnsiColors;

    normalBuffer_ = makeNormalBuffer();
    altBuffer_ = std::make_unique<Buffer>(cols_, rows_, tabStopWidth, std::nullopt);
    altBuffer_->setImageLedger(&lineImages_, true);
    installScrollCallback(*altBuffer_);
    buffer_ = normalBuffer_.get();

    setup(false);
}

Terminal::~Terminal()
{
    if (synchronizedOutputTimeoutItem_) synchronizedOutputTimeoutItem_->cancel();
    if (idleCollectionItem_) idleCollectionItem_->cancel();
    // No cell refers to this terminal's payload ids any more.
    TinyAtom::releaseAll(this);
    // Work items and callbacks that outlive the terminal find it gone.
    *self_ = nullptr;
}

std::unique_ptr<Buffer> Terminal::makeNormalBuffer()
{
    auto made = std::make_unique<Buffer>(cols_, rows_, tabStopWidth, options_.scrollback);
    made->fillViewportRows();
    made->setImageLedger(&lineImages_, false);
    installScrollCallback(*made);
    return made;
}

void Terminal::installScrollCallback(Buffer& target)
{
    target.scroll = [weak = std::weak_ptr<Terminal*>(self_)](bool isWrapped) {
        if (auto alive = weak.lock(); alive && *alive) (*alive)->scroll(isWrapped);
    };
}

void Terminal::setup(bool isReset)
{
    cols_ = std::max(options_.cols, MINIMUM_COLS);
    rows_ = std::max(options_.rows, MINIMUM_ROWS);

    if (!isReset) {
        normalBuffer_->resize(cols_, rows_);
        altBuffer_->resize(cols_, rows_);
    } else {
        resetNormalBuffer();
        // A full reset leaves both screens blank with the cursor home: the
        // alternate screen is cleared too, and the cursor is not carried over
        // from it when it was the active one. Its tab stops and saved cursor
        // return to their defaults as well, like the fresh normal screen's.
        altBuffer_->clear();
        altBuffer_->softReset();
        altBuffer_->setupTabStops(-1, tabStopWidth);
        buffer_ = normalBuffer_.get();
    }

    cursorHidden = false;
    applicationKeypad = false;
    applicationCursor = false;
    originMode = false;
    marginMode = false;
    insertMode = false;
    bracketedPasteMode = false;
    wraparound = true;
    for (Buffer* each : {normalBuffer_.get(), altBuffer_.get()}) {
        each->marginMode = false;
        each->insertMode = false;
        each->wraparound = true;
    }

    keyboardModeNormal = KeyboardModeState{};
    keyboardModeAlt = KeyboardModeState{};

    gCharsets = {};
    charset = gCharsets[0];
    gcharset = 0;
    gLevel = 0;
    curAttr = Attribute::empty;

    setMouseMode(MouseMode::off);

    buffer_->setScrollTop(0);
    buffer_->setScrollBottom(rows_ - 1);
    buffer_->setMarginLeft(0);
    buffer_->setMarginRight(cols_ - 1);
    fitMarginsToWidth();

    cc.send8bit = false;
    conformance = TerminalConformance::vt500;
    allow80To132 = true;
    xtermTitleSetUtf = false;
    xtermTitleSetHex = false;
    xtermTitleQueryUtf = false;
    xtermTitleQueryHex = false;
    hyperLinkTracking.reset();
    cursorBlink = false;
    hostCurrentDirectory.reset();
    lineFeedMode = options_.convertEol;
}

void Terminal::fitMarginsToWidth()
{
    if (marginMode) return;
    for (Buffer* each : {normalBuffer_.get(), altBuffer_.get()}) {
        each->setMarginLeft(0);
        each->setMarginRight(cols_ - 1);
    }
}

// ---- feeding and reading ----

void Terminal::feed(std::span<const uint8_t> bytes)
{
    // The host is locked once for the whole chunk rather than for every
    // callback: a scrolling chunk calls back once per line, and each lock of
    // the weak reference is two atomic operations.
    const std::shared_ptr<TerminalDelegate> host = tdel_.lock();
    struct Restore {
        TerminalDelegate*& slot;
        TerminalDelegate* previous;
        ~Restore() { slot = previous; }
    } restore{feedDelegate_, feedDelegate_};
    feedDelegate_ = host.get();
    parser_.parse(bytes);
    // Whoever reads the records after the chunk sees them up to date.
    settleKittyRecordRows();
    // Collections the print path asked for run here, once every code it
    // worked out is stored in a cell.
    if (collectionDue_) garbageCollectPayload();
    fedSinceIdleCheck_ = true;
    if (!idleCollectionItem_ && (!indexToCharMap_.empty() || payloadIdsTaken_ + payloadIdsKept_ > 0)) {
        scheduleIdleCollection();
    }
}

void Terminal::feed(std::string_view text)
{
    feed(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

BufferLine* Terminal::getLine(int row)
{
    if (row < 0 || row >= rows_) return nullptr;
    const int64_t index = int64_t{buffer_->yDisp()} + row;
    if (index >= buffer_->lines().count()) return nullptr;
    return &buffer_->lines()[index];
}

BufferLine* Terminal::getScrollInvariantLine(int64_t row)
{
    const int64_t index = row - buffer_->linesTop;
    if (index < 0 || index >= buffer_->lines().count()) return nullptr;
    return &buffer_->lines()[index];
}

std::optional<CharData> Terminal::getCharData(int col, int row)
{
    if (col < 0 || col >= cols_) return std::nullopt;
    const BufferLine* line = getLine(row);
    if (!line) return std::nullopt;
    return (*line)[col];
}

std::optional<std::string> Terminal::getCharacter(int col, int row)
{
    const auto cell = getCharData(col, row);
    if (!cell) return std::nullopt;
    return character(cell->code);
}

// ---- resets and buffer switching ----

void Terminal::resetToInitialState()
{
    endSynchronizedOutput();
    options_.rows = rows_;
    options_.cols = cols_;
    const bool hidden = cursorHidden;
    setup(true);
    clearAllKittyImages();
    cursorHidden = hidden;
    updateRange(0);
    updateRange(rows_ - 1);
    garbageCollectPayload();
}

void Terminal::cmdReset()
{
    parser_.reset();
    resetToInitialState();
}

void Terminal::resetNormalBuffer()
{
    if (snapshotSource_ == normalBuffer_.get()) preserveSnapshotHistory();
    const bool active = buffer_ == normalBuffer_.get();
    normalBuffer_ = makeNormalBuffer();
    if (active) buffer_ = normalBuffer_.get();
}

void Terminal::activateNormalBuffer(bool clearAlt)
{
    if (buffer_ != altBuffer_.get()) return;
    normalBuffer_->setX(altBuffer_->x());
    normalBuffer_->setY(altBuffer_->y());
    if (clearAlt) {
        clearKittyImages(*altBuffer_, true);
        altBuffer_->clear();
    }
    buffer_ = normalBuffer_.get();
}

void Terminal::activateAltBuffer(std::optional<Attribute> fillAttr)
{
    if (buffer_ != normalBuffer_.get()) return;
    altBuffer_->setX(normalBuffer_->x());
    altBuffer_->setY(normalBuffer_->y());
    altBuffer_->fillViewportRows(fillAttr);
    buffer_ = altBuffer_.get();
    clearKittyImages(*altBuffer_, true);
}

void Terminal::resizeBuffers(int newColumns, int newRows)
{
    const int distance = normalBuffer_->savedY - normalBuffer_->y();
    normalBuffer_->resize(newColumns, newRows);
    normalBuffer_->savedY = normalBuffer_->y() + distance;
    altBuffer_->resize(newColumns, newRows);
}

// ---- colours ----

std::vector<Color> Terminal::buildPalette() const
{
    if (options_.ansi256PaletteStrategy == Ansi256PaletteStrategy::base16Lab) {
        return Color::generateBase16LabPalette(installedColors, backgroundColor_, foregroundColor_);
    }
    return Color::generateXtermPalette(installedColors);
}

void Terminal::rebuildAnsiPalette(bool notifyDelegate)
{
    defaultAnsiColors = buildPalette();
    ansiColors = defaultAnsiColors;
    if (notifyDelegate) withDelegate([&](TerminalDelegate& d) { d.colorChanged(*this, std::nullopt); });
}

void Terminal::installPalette(std::span<const Color> colors)
{
    if (colors.size() != 16) return;
    installedColors.assign(colors.begin(), colors.end());
    rebuildAnsiPalette(false);
}

void Terminal::resetAllColors()
{
    ansiColors = defaultAnsiColors;
    withDelegate([&](TerminalDelegate& d) { d.colorChanged(*this, std::nullopt); });
}

void Terminal::setAnsi256PaletteStrategy(Ansi256PaletteStrategy strategy)
{
    if (strategy == options_.ansi256PaletteStrategy) return;
    options_.ansi256PaletteStrategy = strategy;
    rebuildAnsiPalette(true);
}

// The guards let a host answer a colour notification by storing the same
// property again (the default host does) without calling out a second time.

void Terminal::setForegroundColor(const Color& color)
{
    foregroundColor_ = color;
    if (settingFgColor_) return;
    settingFgColor_ = true;
    withDelegate([&](TerminalDelegate& d) { d.setForegroundColor(*this, color); });
    settingFgColor_ = false;
    if (options_.ansi256PaletteStrategy == Ansi256PaletteStrategy::base16Lab) rebuildAnsiPalette(true);
}

void Terminal::setBackgroundColor(const Color& color)
{
    backgroundColor_ = color;
    if (settingBgColor_) return;
    settingBgColor_ = true;
    withDelegate([&](TerminalDelegate& d) { d.setBackgroundColor(*this, color); });
    settingBgColor_ = false;
    if (options_.ansi256PaletteStrategy == Ansi256PaletteStrategy::base16Lab) rebuildAnsiPalette(true);
}

void Terminal::setCursorColor(const std::optional<Color>& color)
{
    cursorColor_ = color;
    if (settingCursorColor_) return;
    settingCursorColor_ = true;
    withDelegate([&](TerminalDelegate& d) { d.setCursorColor(*this, color); });
    settingCursorColor_ = false;
}

// ---- host-facing operations ----

void Terminal::setMouseMode(MouseMode mode)
{
    mouseMode_ = mode;
    withDelegate([&](TerminalDelegate& d) { d.mouseModeChanged(*this); });
}

void Terminal::setTerminalFocus(bool focused)
{
    if (!sendFocus) return;
    const uint8_t report = focused ? 'I' : 'O';
    sendUserReport(std::span(&report, 1));
}

void Terminal::registerOscHandler(int64_t code, OscHandler handler)
{
    oscHandlers_[code] = std::move(handler);
}

void Terminal::garbageCollectPayload()
{
    collectionDue_ = false;
    linesDroppedSinceCollection_ = 0;
    collectPayloadIds();
    collectUnusedClusters();
}

void Terminal::collectPayloadIds()
{
    payloadIdsTaken_ = 0;
    payloadIdsKept_ = 0;
    if (TinyAtom::usedCount() == 0) return;
    // Every allocated line of each ring is read, scrollback included and
    // whatever the ring's count, and every cell of a line's storage.
    auto inUse = std::make_unique<TinyAtom::IdsInUse>();
    for (const Buffer* buffer : {normalBuffer_.get(), altBuffer_.get(), synchronizedOutputBuffer_.get()}) {
        if (!buffer) continue;
        for (const BufferLine* line : buffer->lines().getArray()) {
            if (!line) continue;
            for (const CharData& cell : line->storage()) {
                if (cell.payload.code != 0) inUse->set(cell.payload.code);
            }
        }
    }
    // The link still open keeps its id though no cell shows it yet.
    if (hyperLinkTracking && hyperLinkTracking->atom) inUse->set(hyperLinkTracking->atom->code);
    payloadIdsKept_ = TinyAtom::collectUnused(this, *inUse);
}

void Terminal::noteLinesDropped(int64_t count)
{
    if (indexToCharMap_.empty() && payloadIdsTaken_ + payloadIdsKept_ == 0) return;
    linesDroppedSinceCollection_ += count;
    if (linesDroppedSinceCollection_ >= buffer_->lines().maxLength()) collectionDue_ = true;
}

void Terminal::scheduleIdleCollection()
{
    // The work item checks whether the terminal was fed during the delay; if
    // it was, it waits one more delay, so a collection never interrupts a
    // stream of output.
    fedSinceIdleCheck_ = false;
    idleCollectionItem_ = std::make_shared<DispatchWorkItem>([weak = std::weak_ptr<Terminal*>(self_)] {
        auto alive = weak.lock();
        if (!alive || !*alive) return;
        Terminal& terminal = **alive;
        terminal.idleCollectionItem_.reset();
        if (terminal.fedSinceIdleCheck_) {
            terminal.scheduleIdleCollection();
            return;
        }
        terminal.garbageCollectPayload();
    });
    DispatchQueue::main().asyncAfter(idleCollectionDelay, idleCollectionItem_);
}

void Terminal::sendBytes(std::span<const uint8_t> bytes)
{
    withDelegate([&](TerminalDelegate& d) { d.sendReply(*this, bytes); });
}

void Terminal::sendUserReport(std::span<const uint8_t> report)
{
    std::vector<uint8_t> bytes;
    appendResponseItem(bytes, cc.csi());
    appendResponseItem(bytes, report);
    withDelegate([&](TerminalDelegate& d) { d.send(*this, bytes); });
}

void Terminal::sendResponseText(std::string_view text)
{
    sendBytes({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
}

void Terminal::log(std::string_view message) const
{
    if (silentLog) return;
    diagnostics_.write(DispatchQueue::main().now(), [&](std::string& out) {
        out += "Info: ";
        out += message;
    });
}

void Terminal::logAlways(std::string_view line) const
{
    diagnostics_.write(DispatchQueue::main().now(), line);
}

// ---- the parser's calls ----

void Terminal::print(std::span<const uint8_t> data)
{
    handlePrint(data);
}

void Terminal::printStateReset()
{
    // Between print calls the reading state is empty but for the bytes held
    // back: with none held there is nothing to reset. The parser calls this
    // for every sequence.
    if (!readingBuffer_.putbackBuffer.empty()) readingBuffer_.reset();
}

void Terminal::execute(uint8_t code)
{
    // Controls the terminal does not know are dropped without a log line.
    dispatchExecuteToTerminal(*this, code);
}

void Terminal::csiDispatch(uint8_t code, Params pars, Collect collect)
{
    // CUP, which full-screen programs send before nearly every run of text,
    // is taken before the table (the table's row for it, inline here).
    if (code == 'H') {
        cmdCursorPosition(pars);
        return;
    }
    if (code >= 0x40 && code <= 0x7E && dispatchCsiToTerminal(*this, code, pars, collect)) return;
    if (silentLog) return;
    log("Corvel: Unknown CSI Code (collect=" + listForm(collect) + " code=" + std::string(1, char(code)) +
        " pars=" + listForm(pars) + ")");
}

void Terminal::escDispatch(Collect collect, uint8_t code)
{
    if (dispatchEscToTerminal(*this, collect, code)) return;
    if (silentLog) return;
    log("Corvel: Unknown ESC Code: ESC + " + std::string(1, char(code)) + " txt=" + listForm(collect));
}

void Terminal::oscDispatch(int64_t code, std::span<const uint8_t> data)
{
    if (auto found = oscHandlers_.find(code); found != oscHandlers_.end() && found->second) {
        found->second(data);
        return;
    }
    if (dispatchOscToTerminal(*this, code, data)) return;
    if (silentLog) return;
    log("Corvel: Unknown OSC code: " + std::to_string(code));
}

void Terminal::apcDispatch(uint8_t command, std::span<const uint8_t> content)
{
    if (command == 'G') {
        handleKittyGraphics(content);
        return;
    }
    if (silentLog) return;
    log("Corvel: Unknown APC code: " + std::string(1, char(command)));
}

std::unique_ptr<DcsHandler> Terminal::dcsHook(Collect collect, uint8_t final)
{
    return dcsHandlerFor(*this, collect, final);
}

ParsingState Terminal::parseError(ParsingState state)
{
    if (!silentLog) log("Corvel: Parsing error, state: " + toString(state));
    return state;
}

}  // namespace corvel
