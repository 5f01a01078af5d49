// Decodes the input into a sequence of edits on a few lines and a small line
// ring, with column and ring indexes taken from a set that includes negative
// and far out-of-range values. Under the sanitizers this finds any edit that
// reaches outside a line's cells or leaves the ring in an inconsistent state.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "corvel/screen/BufferLine.h"
#include "corvel/screen/CircularBufferLineList.h"
#include "corvel/platform/Log.h"

using namespace corvel;

namespace {

class FuzzImage : public TerminalImage {
public:
    int64_t pixelWidth() const override { return 8; }
    int64_t pixelHeight() const override { return 16; }
    int64_t col() const override { return col_; }
    void setCol(int64_t c) override { col_ = c; }

private:
    int64_t col_ = 0;
};

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool done() const { return pos_ >= size_; }
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    // A column-like value: mostly small, sometimes negative or far out of range.
    int column()
    {
        static constexpr int edges[] = {std::numeric_limits<int>::min(), -1000, -2, -1, 0, 1, 2, 39, 40, 41,
                                        199, 200, 1'000'000, std::numeric_limits<int>::max()};
        const uint8_t b = byte();
        if (b < 200) return b % 48 - 4;
        return edges[b % std::size(edges)];
    }

    int64_t ringIndex()
    {
        static constexpr int64_t edges[] = {std::numeric_limits<int64_t>::min(), -17, -1, 0, 1, 15, 16, 17,
                                            1'000'000'007, std::numeric_limits<int64_t>::max()};
        const uint8_t b = byte();
        if (b < 220) return b % 24 - 4;
        return edges[b % std::size(edges)];
    }

    CharData cell()
    {
        CharData c;
        const uint8_t kind = byte();
        switch (kind % 6) {
        case 0: break;  // empty
        case 1: c.code = 'a' + kind % 26; break;
        case 2: c.code = 0x4E2D; c.width = 2; break;
        case 3: c.code = 0; c.width = 0; break;
        case 4: c.code = CharData::firstGraphemeId + kind; break;
        case 5: c.code = 0xD800 + kind; break;  // not a scalar
        }
        c.attribute.fg = Attribute::Color::ansi256(byte());
        if (kind & 0x40) c.attribute.bg = Attribute::Color::defaultInvertedColor();
        if (kind & 0x80) c.attribute.underlineColor = Attribute::Color::trueColor(1, 2, 3);
        c.payload.code = byte() & 3;
        return c;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

[[noreturn]] void fail() { std::abort(); }

void check(bool condition)
{
    if (!condition) fail();
}

void checkRing(const CircularBufferLineList& ring)
{
    check(ring.count() >= 0 && ring.count() <= ring.maxLength());
    auto slots = ring.getArray();
    check(static_cast<int64_t>(slots.size()) == ring.maxLength());
    for (size_t i = 0; i < slots.size(); ++i) {
        for (size_t j = i + 1; j < slots.size(); ++j) check(!slots[i] || slots[i] != slots[j]);
    }
}

void checkLine(const BufferLine& line)
{
    check(line.count() >= 0 && line.capacity() >= line.count());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = [] {
        log::setSink([](std::string_view) {});
        return true;
    }();
    (void)quiet;

    Input in(data, size);
    std::vector<BufferLine> lines;
    for (int i = 0; i < 3; ++i) lines.emplace_back(in.byte() % 41, in.cell());

    CircularBufferLineList ring(1 + in.byte() % 16);
    int lineWidth = 1 + in.byte() % 40;
    ring.makeEmpty = [&](int64_t) { return BufferLine(lineWidth); };
    int64_t imagesIn = 0;
    ring.onLinePushed = [&](bool has) { imagesIn += has; };
    ring.onLineRecycled = [&](bool had) { imagesIn -= had; };

    const auto anyLine = [&]() -> BufferLine& { return lines[in.byte() % lines.size()]; };
    const auto provider = [](const CharData& c) { return c.code == 0 ? std::string("_") : std::string("x"); };

    while (!in.done()) {
        const uint8_t op = in.byte();
        switch (op % 26) {
        case 0: anyLine().set(in.column(), in.cell()); break;
        case 1: {
            const CharData c = in.cell();
            anyLine().modify(in.column(), [&](CharData& cell) { cell.attribute = c.attribute; });
            break;
        }
        case 2: {
            BufferLine& l = anyLine();
            const int pos = in.column(), n = in.column(), margin = in.column();
            l.insertCells(pos, n, margin, in.cell());
            break;
        }
        case 3: {
            BufferLine& l = anyLine();
            const int pos = in.column(), n = in.column(), margin = in.column();
            l.deleteCells(pos, n, margin, in.cell());
            break;
        }
        case 4: {
            BufferLine& l = anyLine();
            const int start = in.column(), end = in.column();
            l.replaceCells(start, end, in.cell());
            break;
        }
        case 5: {
            BufferLine& l = anyLine();
            const int at = in.column(), len = in.column();
            l.fill(in.cell(), at, len);
            break;
        }
        case 6: anyLine().fill(in.cell()); break;
        case 7: {
            BufferLine& dst = anyLine();
            const BufferLine& src = anyLine();
            const int srcCol = in.column(), dstCol = in.column(), len = in.column();
            dst.copyFrom(src, srcCol, dstCol, len);
            break;
        }
        case 8: {
            BufferLine& dst = anyLine();
            dst.copyFrom(anyLine());
            break;
        }
        case 9: {
            BufferLine& l = anyLine();
            l.resize(in.byte() % 72 - 4, in.cell());
            break;
        }
        case 10: anyLine().clear(in.cell().attribute); break;
        case 11: {
            const BufferLine& l = anyLine();
            const uint8_t flags = in.byte();
            const int start = in.column(), end = (flags & 4) ? -1 : in.column();
            const std::string text = (flags & 8) ? l.translateToString(flags & 1, start, end, flags & 2, provider)
                                                 : l.translateToString(flags & 1, start, end, flags & 2);
            if (!(flags & 8)) check(text.find('\0') == std::string::npos);
            break;
        }
        case 12: {
            const BufferLine& l = anyLine();
            const int trimmed = l.getTrimmedLength();
            check(trimmed >= 0);
            (void)l.hasAnyContent();
            (void)l.hasContent(in.column());
            (void)l.getWidth(in.column());
            (void)l[in.column()];
            break;
        }
        case 13: {
            BufferLine line(anyLine());
            if (in.byte() & 1) line.images = BufferLine::ImageList{std::make_shared<FuzzImage>()};
            ring.push(std::move(line));
            break;
        }
        case 14:
            if (ring.isFull()) ring.recycle(in.cell().attribute);
            break;
        case 15: ring.pop(); break;
        case 16: ring.trimStart(in.ringIndex()); break;
        case 17: {
            const int64_t start = in.ringIndex(), deleteCount = in.ringIndex();
            std::vector<BufferLine> items;
            for (int i = in.byte() % 4; i > 0; --i) items.emplace_back(anyLine());
            int64_t reported = 0;
            ring.splice(start, deleteCount, std::move(items), [&](int64_t) { ++reported; });
            break;
        }
        case 18: {
            const int64_t start = in.ringIndex();
            const int64_t count = in.byte() % 24 - 2;
            const int64_t offset = in.byte() % 11 - 5;
            ring.shiftElements(start, count, offset);
            break;
        }
        case 19: ring.setMaxLength(1 + in.byte() % 16); break;
        case 20: ring.setCount(in.byte() % (ring.maxLength() + 1)); break;
        case 21: {
            BufferLine& l = ring[in.ringIndex()];
            l.set(in.column(), in.cell());
            l.insertCells(in.column(), in.column(), in.column(), CharData::Null);
            checkLine(l);
            break;
        }
        case 22: ring.set(in.ringIndex(), BufferLine(anyLine())); break;
        case 23: {
            auto taken = ring.take(in.ringIndex());
            if (taken) lines[in.byte() % lines.size()] = std::move(*taken);
            break;
        }
        case 24: lineWidth = in.byte() % 41; break;
        case 25: {
            // Line moves leave the moved-from line empty but usable.
            BufferLine& a = anyLine();
            BufferLine moved(std::move(a));
            check(a.count() == 0 && !a.images);
            a.set(in.column(), in.cell());
            a = std::move(moved);
            checkLine(a);
            break;
        }
        }
        for (const auto& l : lines) checkLine(l);
        checkRing(ring);
    }
    return 0;
}
