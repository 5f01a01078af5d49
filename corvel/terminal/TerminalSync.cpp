// Synchronized output (DEC private mode 2026): while it is on, the host keeps
// showing a frozen copy of the screen (displayBuffer) and the program paints
// its next frame into the live buffers. It ends when the program resets the
// mode, on resize and reset, or by itself one second after the last set.
//
// Programs set the mode around every frame, so taking the copy must not cost
// a walk over the whole scrollback. The copy keeps the live buffer's row
// numbering (ring indices, yBase, yDisp, linesTop) and line count, and copies
// at once only the screen rows (yBase and below): those are all the emulator
// writes to. History lines are copied when first read (the view may be
// scrolled back, or scroll while the mode lasts), from the live buffer, where
// a history line keeps its content and its scroll-invariant number
// (linesTop + ring index). Whatever would change or drop one of those lines
// in the live buffer first hands the copy its own copy: a scroll of a full
// ring (the oldest line is reused), and trimming, erasing the scrollback or
// removing images (preserveSnapshotHistory).
#include "corvel/terminal/Terminal.h"
#include "corvel/terminal/TerminalInternals.h"

#include <algorithm>
#include <cmath>

namespace corvel {

namespace {

// Stores a copied line in the frozen copy's ring, counting it as a line with
// images the way the ring's own push would.
void placeLine(Buffer& copy, int64_t index, BufferLine line)
{
    const bool hasImages = line.images.has_value();
    copy.lines().set(index, std::move(line));
    if (hasImages && copy.lines().onLinePushed) copy.lines().onLinePushed(true);
}

// Whether the ring slot of `index` already holds a line, without letting the
// line factory fill it.
bool holdsLine(CircularBufferLineList& ring, int64_t index)
{
    std::unique_ptr<BufferLine> line = ring.take(index);
    const bool held = line != nullptr;
    ring.set(index, std::move(line));
    return held;
}

}  // namespace

void Terminal::beginSynchronizedOutput()
{
    if (!synchronizedOutputActive_) {
        synchronizedOutputActive_ = true;
        synchronizedOutputBuffer_ = snapshotBuffer(*buffer_);
        synchronizedOutputBufferIsAlternate_ = isCurrentBufferAlternate();
        scheduleSynchronizedOutputTimeout();
        withDelegate([&](TerminalDelegate& d) { d.synchronizedOutputChanged(*this, true); });
        return;
    }
    // A repeated set keeps the first copy and restarts the timeout.
    if (!synchronizedOutputBuffer_) {
        synchronizedOutputBuffer_ = snapshotBuffer(*buffer_);
        synchronizedOutputBufferIsAlternate_ = isCurrentBufferAlternate();
    }
    scheduleSynchronizedOutputTimeout();
}

void Terminal::scheduleSynchronizedOutputTimeout()
{
    if (synchronizedOutputTimeoutItem_) synchronizedOutputTimeoutItem_->cancel();
    synchronizedOutputTimeoutItem_ = std::make_shared<DispatchWorkItem>([weak = std::weak_ptr<Terminal*>(self_)] {
        auto alive = weak.lock();
        if (!alive || !*alive) return;
        Terminal& terminal = **alive;
        if (terminal.synchronizedOutputActive_) terminal.endSynchronizedOutput();
    });
    const auto delay = static_cast<Nanos>(std::llround(synchronizedOutputTimeoutSeconds * 1e9));
    DispatchQueue::main().asyncAfter(delay, synchronizedOutputTimeoutItem_);
}

void Terminal::endSynchronizedOutput()
{
    if (!synchronizedOutputActive_) return;
    synchronizedOutputActive_ = false;
    snapshotSource_ = nullptr;
    snapshotLazyEnd_ = 0;
    synchronizedOutputBuffer_.reset();
    synchronizedOutputBufferIsAlternate_ = false;
    if (synchronizedOutputTimeoutItem_) {
        synchronizedOutputTimeoutItem_->cancel();
        synchronizedOutputTimeoutItem_.reset();
    }
    updateRange(0);
    updateRange(rows_ - 1);
    withDelegate([&](TerminalDelegate& d) { d.synchronizedOutputChanged(*this, false); });
}

std::unique_ptr<Buffer> Terminal::snapshotBuffer(Buffer& source)
{
    auto copy = std::make_unique<Buffer>(source.cols(), source.rows(), tabStopWidth, source.scrollback());
    copy->xDisp = source.xDisp;
    copy->setYDisp(source.yDisp());
    copy->xBase = source.xBase;
    copy->linesTop = source.linesTop;
    copy->setYBase(source.yBase());
    copy->setX(source.x());
    copy->setY(source.y());
    copy->setScrollTop(source.scrollTop());
    copy->setScrollBottom(source.scrollBottom());
    copy->tabStops = source.tabStops;
    copy->savedX = source.savedX;
    copy->savedY = source.savedY;
    copy->savedOriginMode = source.savedOriginMode;
    copy->savedMarginMode = source.savedMarginMode;
    copy->savedWraparound = source.savedWraparound;
    copy->savedReverseWraparound = source.savedReverseWraparound;
    copy->setMarginLeft(source.marginLeft());
    copy->setMarginRight(source.marginRight());
    copy->savedAttr = source.savedAttr;
    copy->savedCharset = source.savedCharset;

    CircularBufferLineList& ring = copy->lines();
    // The copy is made with the source's size and scrollback, so both rings
    // follow the same capacity rule; the source's capacity is taken as it
    // is all the same, so that every ring index it holds has a slot.
    if (ring.maxLength() != source.lines().maxLength()) ring.setMaxLength(source.lines().maxLength());
    const int64_t count = source.lines().count();
    ring.setCount(count);
    // The screen rows: everything the live buffer may still change.
    const int64_t firstCopied = std::clamp<int64_t>(source.yBase(), 0, count);
    for (int64_t i = firstCopied; i < count; ++i) placeLine(*copy, i, BufferLine(source.lines()[i]));

    snapshotSource_ = nullptr;
    snapshotLazyEnd_ = 0;
    if (firstCopied > 0 && &source == normalBuffer_.get()) {
        snapshotSource_ = &source;
        snapshotLazyEnd_ = firstCopied;
        snapshotLinesTop_ = source.linesTop;
        Buffer* frozen = copy.get();
        ring.makeEmpty = [this, frozen](int64_t slot) {
            const CircularBufferLineList& lines = frozen->lines();
            const int64_t capacity = lines.maxLength();
            const int64_t index = ((slot - lines.getStartIndex()) % capacity + capacity) % capacity;
            if (snapshotSource_ && frozen == synchronizedOutputBuffer_.get() && index < snapshotLazyEnd_) {
                const int64_t live = index + snapshotLinesTop_ - snapshotSource_->linesTop;
                if (live >= 0 && live < snapshotSource_->lines().count()) {
                    BufferLine line(snapshotSource_->lines()[live]);
                    if (line.images && frozen->lines().onLinePushed) frozen->lines().onLinePushed(true);
                    return line;
                }
            }
            return BufferLine(frozen->cols());
        };
    } else {
        for (int64_t i = 0; i < firstCopied; ++i) placeLine(*copy, i, BufferLine(source.lines()[i]));
    }
    return copy;
}

void Terminal::preserveOldestLineForSnapshot()
{
    if (!snapshotSource_ || buffer_ != snapshotSource_ || !synchronizedOutputBuffer_) return;
    // Live ring index 0 is the copy's index linesTop - snapshotLinesTop_.
    const int64_t index = snapshotSource_->linesTop - snapshotLinesTop_;
    if (index < 0 || index >= snapshotLazyEnd_) return;
    CircularBufferLineList& ring = synchronizedOutputBuffer_->lines();
    if (!holdsLine(ring, index)) placeLine(*synchronizedOutputBuffer_, index, BufferLine(snapshotSource_->lines()[0]));
    // Once the last history line the copy reads through has gone by, the
    // copy holds all of its own lines.
    if (index == snapshotLazyEnd_ - 1) {
        snapshotSource_ = nullptr;
        snapshotLazyEnd_ = 0;
    }
}

void Terminal::preserveSnapshotHistory()
{
    if (snapshotSource_ && synchronizedOutputBuffer_) {
        CircularBufferLineList& ring = synchronizedOutputBuffer_->lines();
        const int64_t shift = snapshotLinesTop_ - snapshotSource_->linesTop;
        const int64_t liveCount = snapshotSource_->lines().count();
        for (int64_t i = 0; i < snapshotLazyEnd_; ++i) {
            const int64_t live = i + shift;
            if (live < 0 || live >= liveCount || holdsLine(ring, i)) continue;
            placeLine(*synchronizedOutputBuffer_, i, BufferLine(snapshotSource_->lines()[live]));
        }
    }
    snapshotSource_ = nullptr;
    snapshotLazyEnd_ = 0;
}

}  // namespace corvel
