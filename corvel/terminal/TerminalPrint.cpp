// The print path: runs of printable bytes from the parser become cells.
// Plain 7-bit text goes to the buffer in whole spans; everything else is
// decoded as UTF-8 (an incomplete sequence at the end of a run waits for the
// next run), mapped through the character set invoked into GL, measured and
// placed cell by cell. Characters that belong to the cell printed before
// them (combining marks, skin tones, variation selectors, the parts of a
// joined emoji or of a flag) are added to that cell's text instead of taking
// a cell of their own. Also the character-set designation and invocation.
#include "corvel/terminal/Terminal.h"

#include "corvel/screen/UnicodeUtil.h"
#include "corvel/platform/Grapheme.h"
#include "corvel/platform/Unicode.h"
#include "corvel/platform/Utf8.h"

#include <algorithm>
#include <array>

namespace corvel {

namespace {

constexpr char32_t kZeroWidthJoiner = 0x200D;
constexpr char32_t kTextPresentation = 0xFE0E;
constexpr char32_t kEmojiPresentation = 0xFE0F;
constexpr uint8_t kDelete = 0x7F;

// A cell holds at most this many scalars. Without a bound, a base character
// followed by an endless run of combining marks would intern an ever longer
// text for every mark.
constexpr size_t kMaxClusterScalars = 32;

// The characters that have an emoji variation sequence: only these change
// width with U+FE0E / U+FE0F.
constexpr std::array<UnicodeUtil::LH, 183> emojiVariationTable{{
    {0x23, 0x23}, {0x2A, 0x2A}, {0x30, 0x39}, {0xA9, 0xA9}, {0xAE, 0xAE}, {0x203C, 0x203C}, {0x2049, 0x2049},
    {0x2122, 0x2122}, {0x2139, 0x2139}, {0x2194, 0x2199}, {0x21A9, 0x21AA}, {0x231A, 0x231B},
    {0x2328, 0x2328}, {0x23CF, 0x23CF}, {0x23E9, 0x23F3}, {0x23F8, 0x23FA}, {0x24C2, 0x24C2},
    {0x25AA, 0x25AB}, {0x25B6, 0x25B6}, {0x25C0, 0x25C0}, {0x25FB, 0x25FE}, {0x2600, 0x2604},
    {0x260E, 0x260E}, {0x2611, 0x2611}, {0x2614, 0x2615}, {0x2618, 0x2618}, {0x261D, 0x261D},
    {0x2620, 0x2620}, {0x2622, 0x2623}, {0x2626, 0x2626}, {0x262A, 0x262A}, {0x262E, 0x262F},
    {0x2638, 0x263A}, {0x2640, 0x2640}, {0x2642, 0x2642}, {0x2648, 0x2653}, {0x265F, 0x2660},
    {0x2663, 0x2663}, {0x2665, 0x2666}, {0x2668, 0x2668}, {0x267B, 0x267B}, {0x267E, 0x267F},
    {0x2692, 0x2697}, {0x2699, 0x2699}, {0x269B, 0x269C}, {0x26A0, 0x26A1}, {0x26A7, 0x26A7},
    {0x26AA, 0x26AB}, {0x26B0, 0x26B1}, {0x26BD, 0x26BE}, {0x26C4, 0x26C5}, {0x26C8, 0x26C8},
    {0x26CE, 0x26CF}, {0x26D1, 0x26D1}, {0x26D3, 0x26D4}, {0x26E9, 0x26EA}, {0x26F0, 0x26F5},
    {0x26F7, 0x26FA}, {0x26FD, 0x26FD}, {0x2702, 0x2702}, {0x2705, 0x2705}, {0x2708, 0x270D},
    {0x270F, 0x270F}, {0x2712, 0x2712}, {0x2714, 0x2714}, {0x2716, 0x2716}, {0x271D, 0x271D},
    {0x2721, 0x2721}, {0x2728, 0x2728}, {0x2733, 0x2734}, {0x2744, 0x2744}, {0x2747, 0x2747},
    {0x274C, 0x274C}, {0x274E, 0x274E}, {0x2753, 0x2755}, {0x2757, 0x2757}, {0x2763, 0x2764},
    {0x2795, 0x2797}, {0x27A1, 0x27A1}, {0x27B0, 0x27B0}, {0x27BF, 0x27BF}, {0x2934, 0x2935},
    {0x2B05, 0x2B07}, {0x2B1B, 0x2B1C}, {0x2B50, 0x2B50}, {0x2B55, 0x2B55}, {0x3030, 0x3030},
    {0x303D, 0x303D}, {0x3297, 0x3297}, {0x3299, 0x3299}, {0x1F004, 0x1F004}, {0x1F170, 0x1F171},
    {0x1F17E, 0x1F17F}, {0x1F202, 0x1F202}, {0x1F21A, 0x1F21A}, {0x1F22F, 0x1F22F}, {0x1F237, 0x1F237},
    {0x1F30D, 0x1F30F}, {0x1F315, 0x1F315}, {0x1F31C, 0x1F31C}, {0x1F321, 0x1F321}, {0x1F324, 0x1F32C},
    {0x1F336, 0x1F336}, {0x1F378, 0x1F378}, {0x1F37D, 0x1F37D}, {0x1F393, 0x1F393}, {0x1F396, 0x1F397},
    {0x1F399, 0x1F39B}, {0x1F39E, 0x1F39F}, {0x1F3A7, 0x1F3A7}, {0x1F3AC, 0x1F3AE}, {0x1F3C2, 0x1F3C2},
    {0x1F3C4, 0x1F3C4}, {0x1F3C6, 0x1F3C6}, {0x1F3CA, 0x1F3CE}, {0x1F3D4, 0x1F3E0}, {0x1F3ED, 0x1F3ED},
    {0x1F3F3, 0x1F3F3}, {0x1F3F5, 0x1F3F5}, {0x1F3F7, 0x1F3F7}, {0x1F408, 0x1F408}, {0x1F415, 0x1F415},
    {0x1F41F, 0x1F41F}, {0x1F426, 0x1F426}, {0x1F43F, 0x1F43F}, {0x1F441, 0x1F442}, {0x1F446, 0x1F449},
    {0x1F44D, 0x1F44E}, {0x1F453, 0x1F453}, {0x1F46A, 0x1F46A}, {0x1F47D, 0x1F47D}, {0x1F4A3, 0x1F4A3},
    {0x1F4B0, 0x1F4B0}, {0x1F4B3, 0x1F4B3}, {0x1F4BB, 0x1F4BB}, {0x1F4BF, 0x1F4BF}, {0x1F4CB, 0x1F4CB},
    {0x1F4DA, 0x1F4DA}, {0x1F4DF, 0x1F4DF}, {0x1F4E4, 0x1F4E6}, {0x1F4EA, 0x1F4ED}, {0x1F4F7, 0x1F4F7},
    {0x1F4F9, 0x1F4FB}, {0x1F4FD, 0x1F4FD}, {0x1F508, 0x1F508}, {0x1F50D, 0x1F50D}, {0x1F512, 0x1F513},
    {0x1F549, 0x1F54A}, {0x1F550, 0x1F567}, {0x1F56F, 0x1F570}, {0x1F573, 0x1F579}, {0x1F587, 0x1F587},
    {0x1F58A, 0x1F58D}, {0x1F590, 0x1F590}, {0x1F5A5, 0x1F5A5}, {0x1F5A8, 0x1F5A8}, {0x1F5B1, 0x1F5B2},
    {0x1F5BC, 0x1F5BC}, {0x1F5C2, 0x1F5C4}, {0x1F5D1, 0x1F5D3}, {0x1F5DC, 0x1F5DE}, {0x1F5E1, 0x1F5E1},
    {0x1F5E3, 0x1F5E3}, {0x1F5E8, 0x1F5E8}, {0x1F5EF, 0x1F5EF}, {0x1F5F3, 0x1F5F3}, {0x1F5FA, 0x1F5FA},
    {0x1F610, 0x1F610}, {0x1F687, 0x1F687}, {0x1F68D, 0x1F68D}, {0x1F691, 0x1F691}, {0x1F694, 0x1F694},
    {0x1F698, 0x1F698}, {0x1F6AD, 0x1F6AD}, {0x1F6B2, 0x1F6B2}, {0x1F6B9, 0x1F6BA}, {0x1F6BC, 0x1F6BC},
    {0x1F6CB, 0x1F6CB}, {0x1F6CD, 0x1F6CF}, {0x1F6E0, 0x1F6E5}, {0x1F6E9, 0x1F6E9}, {0x1F6F0, 0x1F6F0},
    {0x1F6F3, 0x1F6F3},
}};

bool isVariationSelector(char32_t s)
{
    return (s >= 0xFE00 && s <= 0xFE0F) || (s >= 0xE0100 && s <= 0xE01EF);
}

// Whether `s` belongs to the cell printed before it, whatever that cell holds.
bool attachesToPrevious(char32_t s, int width)
{
    if (width == 0) return true;
    // Nothing below U+0300 combines, and that is where most text lives.
    if (s < 0x300) return false;
    // The five emoji modifiers (skin tones) sit together.
    const bool modifier = s >= 0x1F3FB && s <= 0x1F3FF;
    return s == kZeroWidthJoiner || modifier || isVariationSelector(s) || unicode::combiningClass(s) != 0;
}

// Whether `s`, not being a pictograph, can stay in the cluster of a text that
// ends in a joiner (some of these have a width of their own, such as the
// halfwidth sound marks).
bool mayFollowJoiner(char32_t s)
{
    if (s < 0x300) return false;
    const grapheme::BreakProperty property = grapheme::breakProperty(s);
    return property == grapheme::BreakProperty::Extend || property == grapheme::BreakProperty::SpacingMark;
}

// The scalars of a cell's text, or 0 when there are more than fit.
size_t decodeScalars(std::string_view text, std::array<char32_t, kMaxClusterScalars>& out)
{
    const std::span<const uint8_t> bytes = utf8::bytesOf(text);
    size_t count = 0;
    for (size_t at = 0; at < bytes.size();) {
        if (count == out.size()) return 0;
        const utf8::Decoded next = utf8::decodeNext(bytes, at);
        out[count++] = next.scalar;
        at += next.length;
    }
    return count;
}

bool isContinuationByte(uint8_t byte)
{
    return (byte & 0xC0) == 0x80;
}

// Where the insert operations put their last cell, while the screen has the
// size it had then.
struct PrintedCell {
    BufferLine* line;
    int64_t ringRow;
    int col;
};

std::optional<PrintedCell> lastPrintedCell(Buffer& buffer, int cols, int rows)
{
    const auto& stored = buffer.lastBufferStorage;
    if (!stored || stored->cols != cols || stored->rows != rows) return std::nullopt;
    if (stored->y < 0 || stored->y >= buffer.lines().count()) return std::nullopt;
    BufferLine& line = buffer.lines()[stored->y];
    const int col = std::min({stored->x, cols - 1, line.count() - 1});
    if (col < 0) return std::nullopt;
    return PrintedCell{&line, stored->y, col};
}

}  // namespace

void Terminal::handlePrint(std::span<const uint8_t> data)
{
    Buffer& target = *buffer_;
    // The buffer gives the placeholder behind a wide character this attribute.
    target.curAttr = curAttr;

    if (!charset && readingBuffer_.putbackBuffer.empty()) {
        // Plain text up to the first byte that needs decoding (or DEL, which
        // is never printed) goes to the buffer in whole spans.
        size_t plain = 0;
        while (plain < data.size() && data[plain] < kDelete) ++plain;
        if (plain > 0) {
            const int startY = target.y();
            const int startYDisp = target.yDisp();
            updateRange(target, startY);
            const int written = target.insertAsciiRun(data.first(plain), curAttr);
            // A second mark of the same row would change nothing.
            if (target.y() != startY || target.yDisp() != startYDisp) updateRange(target, target.y());
            if (static_cast<size_t>(written) == data.size()) return;
            // Insert mode, or the right edge reached with autowrap off: the
            // rest goes cell by cell.
            data = data.subspan(static_cast<size_t>(written));
        }
    }

    ReadingBuffer& input = readingBuffer_;
    input.prepare(data);
    updateRange(target, target.y());
    // Plain text up to this read position goes cell by cell: a span was cut
    // short there (insert mode, or the edge with autowrap off).
    size_t cellByCellUntil = 0;
    while (input.hasNext()) {
        const uint8_t lead = input.getNext();
        const uint8_t kind = UnicodeUtil::first[lead];
        if ((kind >> 4) == 0xF) {
            const size_t held = input.putbackBuffer.size();
            if (lead < kDelete && !charset && input.idx > held && input.idx > cellByCellUntil) {
                // Plain text between other characters goes in whole spans too.
                const size_t start = input.idx - 1 - held;
                size_t end = start + 1;
                while (end < input.rest.size() && input.rest[end] < kDelete) ++end;
                const auto written =
                    static_cast<size_t>(target.insertAsciiRun(input.rest.subspan(start, end - start), curAttr));
                if (written < end - start) cellByCellUntil = held + end;
                if (written > 0) {
                    input.idx += written - 1;
                    continue;
                }
            }
            // ASCII, or a byte that cannot start a sequence (printed as the
            // Latin-1 character of its value when it has a width).
            if (lead < kDelete && charset && charset->contains(lead)) {
                target.insertCharacter(makeCharData(curAttr, code((*charset)[lead]), 1));
            } else if (const int width = UnicodeUtil::columnWidth(lead); width > 0 && lead != kDelete) {
                target.insertCharacter(makeCharData(curAttr, static_cast<int32_t>(lead), width));
            }
            continue;
        }

        // Read the continuation bytes. A byte that cannot continue the
        // sequence ends it and is decoded afresh, so a bad sequence never
        // swallows the character after it.
        const size_t length = kind & 0x0F;
        const UnicodeUtil::AcceptRange accept = UnicodeUtil::acceptRanges[kind >> 4];
        const size_t afterLead = input.idx;
        uint8_t tail[3] = {0, 0, 0};
        size_t read = 0;
        bool wellFormed = true;
        while (read + 1 < length) {
            if (!input.hasNext()) {
                // The sequence may go on in the next run: keep it whole.
                input.idx = afterLead;
                input.putback(lead);
                updateRange(target, target.y());
                return;
            }
            const uint8_t byte = input.getNext();
            if (!isContinuationByte(byte)) {
                --input.idx;
                wellFormed = false;
                break;
            }
            if (read == 0 && (byte < accept.lo || byte > accept.hi)) wellFormed = false;
            tail[read++] = byte;
        }
        if (!wellFormed) {
            // The lead byte alone prints; its continuation bytes are lost.
            if (const int width = UnicodeUtil::columnWidth(lead); width > 0) {
                target.insertCharacter(makeCharData(curAttr, static_cast<int32_t>(lead), width));
            }
            continue;
        }
        char32_t scalar = lead & (0x7F >> length);
        for (size_t k = 0; k < read; ++k) scalar = (scalar << 6) | (tail[k] & 0x3F);
        const int width = UnicodeUtil::columnWidth(scalar);
        if (width < 0) continue;
        printScalar(target, scalar, width);
    }
    updateRange(target, target.y());
    input.done();
}

void Terminal::printScalar(Buffer& target, char32_t scalar, int width)
{
    bool joins = attachesToPrevious(scalar, width);
    // A regional indicator joins a lone one to make a flag, and a character
    // joins a cell whose text ends in a joiner. After a joiner only a
    // pictograph, an extending character or a spacing mark stays in the same
    // cluster, so for anything else the cell need not be read: it would not
    // join.
    const bool regional = unicode::isRegionalIndicator(scalar);
    if (!joins && !regional && !unicode::isExtendedPictographic(scalar) && !mayFollowJoiner(scalar)) {
        target.insertCharacter(makeCharData(curAttr, code(scalar), width));
        return;
    }
    const auto last = lastPrintedCell(target, cols_, rows_);
    if (last && !joins) {
        const CharData& cell = (*last->line)[last->col];
        if (cell.code >= CharData::firstGraphemeId) {
            const auto found = indexToCharMap_.find(cell.code);
            if (found != indexToCharMap_.end()) {
                const std::string& text = found->second;
                if (regional) {
                    std::array<char32_t, kMaxClusterScalars> held{};
                    joins = decodeScalars(text, held) == 1 && unicode::isRegionalIndicator(held[0]);
                }
                joins = joins || text.ends_with("\u200D");
            }
        }
    }
    if (joins) {
        if (last && joinToCell(target, last->line, last->ringRow, last->col, scalar)) return;
        // Nothing to join: a character without a width of its own goes.
        if (width == 0) return;
    }
    target.insertCharacter(makeCharData(curAttr, code(scalar), width));
}

bool Terminal::joinToCell(Buffer& target, BufferLine* line, int64_t ringRow, int col, char32_t scalar)
{
    CharData cell = (*line)[col];
    const uint64_t key = (uint64_t{static_cast<uint32_t>(cell.code)} << 32) | scalar;
    int32_t joinedCode = 0;
    if (const auto known = knownCodes_.find(key); known != knownCodes_.end()) {
        joinedCode = known->second;
    } else {
        // The cell's text, read in place: a scalar is encoded into `single`
        // (short enough never to allocate), a cluster is read from the map.
        std::string single;
        std::string_view text;
        if (cell.code >= CharData::firstGraphemeId) {
            const auto found = indexToCharMap_.find(cell.code);
            if (found == indexToCharMap_.end()) return false;
            text = found->second;
        } else {
            single = character(cell.code);
            text = single;
        }
        std::array<char32_t, kMaxClusterScalars> scalars{};
        const size_t held = decodeScalars(text, scalars);
        if (held == 0 || held == scalars.size()) return false;
        scalars[held] = scalar;
        if (!grapheme::isSingleCluster(std::u32string_view(scalars.data(), held + 1))) return false;
        // Only characters with both presentations take a presentation
        // selector; for the rest it is dropped.
        if ((scalar == kEmojiPresentation || scalar == kTextPresentation) &&
            !UnicodeUtil::bisearch(scalars[held - 1], emojiVariationTable, 182)) {
            return true;
        }

        // The joined text, built on the stack.
        std::array<char, kMaxClusterScalars * 4> joined{};
        std::string encoded;
        utf8::append(encoded, scalar);
        if (text.size() + encoded.size() > joined.size()) return false;
        std::copy(text.begin(), text.end(), joined.begin());
        std::copy(encoded.begin(), encoded.end(), joined.begin() + static_cast<std::ptrdiff_t>(text.size()));
        joinedCode = code(std::string_view(joined.data(), text.size() + encoded.size()));
        knownCodes_.emplace(key, joinedCode);
    }

    if (scalar == kEmojiPresentation) {
        if (cell.width != 2 && col + 1 < cols_) {
            // The character takes the next column too.
            if (col + 2 < line->count() && (*line)[col + 1].width == 2) line->set(col + 2, CharData(eraseAttribute()));
            line->set(col + 1, CharData(cell.attribute, 0, 0));
            // The cursor follows, but never past the column after the last:
            // the cell may have been moved away from it since it was printed.
            target.setX(std::min(target.x() + 1, cols_));
            cell.width = 2;
        }
    } else if (scalar == kTextPresentation) {
        if (cell.width == 2) target.setX(std::max(target.x() - 1, 0));
        cell.width = 1;
    }
    cell.code = joinedCode;
    line->set(col, cell);
    updateRange(target, ringRow - target.yBase());
    return true;
}

CharData Terminal::makeCharData(const Attribute& attribute, int32_t cellCode, int size)
{
    CharData cell(attribute);
    cell.setValue(cellCode, size);
    return cell;
}

CharData Terminal::makeCharData(const Attribute& attribute, std::string_view character, int size)
{
    return makeCharData(attribute, code(character), size);
}

CharData Terminal::makeCharData(const Attribute& attribute, char32_t scalar, int size)
{
    return makeCharData(attribute, static_cast<int32_t>(scalar), size);
}

void Terminal::updateCharData(CharData& cell, std::string_view character, int size)
{
    cell.setValue(code(character), size);
}

void Terminal::updateCharData(CharData& cell, int32_t cellCode, int size)
{
    cell.setValue(cellCode, size);
}

int32_t Terminal::code(char32_t scalar)
{
    if (scalar < 0x10000) return static_cast<int32_t>(scalar);
    if (const auto known = knownCodes_.find(scalar); known != knownCodes_.end()) return known->second;
    std::string text;  // at most four bytes: never allocates
    utf8::append(text, scalar);
    const int32_t id = intern(text);
    knownCodes_.emplace(scalar, id);
    return id;
}

int32_t Terminal::code(std::string_view character)
{
    if (character == "\r\n") return 10;
    const std::span<const uint8_t> bytes = utf8::bytesOf(character);
    if (!bytes.empty()) {
        const utf8::Decoded first = utf8::decodeNext(bytes, 0);
        if (first.valid && first.length == bytes.size()) return code(first.scalar);
    }
    return intern(character);
}

int32_t Terminal::intern(std::string_view character)
{
    if (auto found = charToIndexMap_.find(character); found != charToIndexMap_.end()) return found->second;
    const int32_t id = lastCharIndex_++;
    charToIndexMap_.emplace(std::string(character), id);
    indexToCharMap_.emplace(id, std::string(character));
    return id;
}

std::string Terminal::character(int32_t value) const
{
    if (value <= 0x400000) {
        const auto scalar = static_cast<char32_t>(value);
        if (value < 0 || scalar > 0x10FFFF || (scalar >= 0xD800 && scalar <= 0xDFFF)) return " ";
        return utf8::encode(scalar);
    }
    if (auto found = indexToCharMap_.find(value); found != indexToCharMap_.end()) return found->second;
    return " ";
}

// ---- character sets ----

void Terminal::setgLevel(uint8_t g)
{
    gLevel = g;
    charset = g < 4 ? gCharsets[g] : nullptr;
}

// DOCS (ESC % G, ESC % @): G0 invoked, with no character set designated.
void Terminal::cmdSelectCodingSystem()
{
    setgLevel(0);
    setgCharset(0, nullptr);
}

void Terminal::setgCharset(uint8_t g, const CharSet* set)
{
    if (g >= 4) return;
    gCharsets[g] = set;
    if (gLevel == g) charset = set;
}

void Terminal::selectCharset(std::span<const uint8_t> p)
{
    if (p.size() != 2) {
        setgLevel(0);
        setgCharset(0, nullptr);
        return;
    }
    uint8_t g = 0;
    switch (p[0]) {
    case '(': g = 0; break;
    case ')': case '-': g = 1; break;
    case '*': case '.': g = 2; break;
    case '+': case '/': g = 3; break;
    default: return;
    }
    setgCharset(g, CharSets::lookup(p[1]));
}

}  // namespace corvel
