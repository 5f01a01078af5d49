// The print path: runs of printable bytes from the parser become cells.
// Plain 7-bit text goes to the buffer in whole spans; everything else is
// decoded as UTF-8 (an incomplete sequence at the end of a run waits for the
// next run), mapped through the character set invoked into GL, measured and
// placed cell by cell. Also the character-set designation and invocation.
//
// Characters that take no column of their own (combining marks and the like)
// are dropped here; attaching them to the cell before is not done yet.
#include "corvel/Terminal.h"

#include "corvel/UnicodeUtil.h"
#include "corvel/platform/Utf8.h"

namespace corvel {

namespace {

bool allBelow0x80(std::span<const uint8_t> data)
{
    for (uint8_t byte : data) {
        if (byte >= 0x80) return false;
    }
    return true;
}

}  // namespace

void Terminal::handlePrint(std::span<const uint8_t> data)
{
    Buffer& target = *buffer_;
    // The buffer gives the placeholder behind a wide character this attribute.
    target.curAttr = curAttr;

    if (!charset && readingBuffer_.putbackBuffer.empty() && allBelow0x80(data)) {
        updateRange(target, target.y());
        const int written = target.insertAsciiRun(data, curAttr);
        updateRange(target, target.y());
        if (static_cast<size_t>(written) == data.size()) return;
        // Insert mode, or the right edge reached with autowrap off: the rest
        // goes cell by cell.
        data = data.subspan(static_cast<size_t>(written));
    }

    ReadingBuffer& input = readingBuffer_;
    input.prepare(data);
    updateRange(target, target.y());
    while (input.hasNext()) {
        const uint8_t lead = input.getNext();
        const uint8_t kind = UnicodeUtil::first[lead];
        if ((kind >> 4) == 0xF) {
            // ASCII, or a byte that cannot start a sequence (printed as the
            // Latin-1 character of its value when it has a width).
            if (lead < 0x7F && charset && charset->contains(lead)) {
                printScalar(target, (*charset)[lead], 1);
            } else if (const int width = UnicodeUtil::columnWidth(lead); width > 0) {
                printScalar(target, lead, width);
            }
            continue;
        }
        const size_t length = kind & 0x0F;
        if (input.remaining() < length - 1) {
            input.putback(lead);
            return;
        }
        uint8_t tail[3] = {0, 0, 0};
        for (size_t k = 0; k + 1 < length; ++k) tail[k] = input.getNext();
        const UnicodeUtil::AcceptRange accept = UnicodeUtil::acceptRanges[kind >> 4];
        bool wellFormed = tail[0] >= accept.lo && tail[0] <= accept.hi;
        for (size_t k = 1; k + 1 < length; ++k) wellFormed = wellFormed && (tail[k] & 0xC0) == 0x80;
        if (!wellFormed) {
            // The lead byte alone prints; the bytes read after it are lost.
            if (const int width = UnicodeUtil::columnWidth(lead); width > 0) printScalar(target, lead, width);
            continue;
        }
        char32_t scalar = lead & (0x7F >> length);
        for (size_t k = 0; k + 1 < length; ++k) scalar = (scalar << 6) | (tail[k] & 0x3F);
        const int width = UnicodeUtil::columnWidth(scalar);
        if (width <= 0) continue;
        printScalar(target, scalar, width);
    }
    updateRange(target, target.y());
    input.done();
}

void Terminal::printScalar(Buffer& target, char32_t scalar, int width)
{
    target.insertCharacter(CharData(curAttr, code(scalar), static_cast<int8_t>(width)));
}

int32_t Terminal::code(char32_t scalar)
{
    if (scalar < 0x10000) return static_cast<int32_t>(scalar);
    return intern(utf8::encode(scalar));
}

int32_t Terminal::code(std::string_view character)
{
    if (character == "\r\n") return 10;
    const std::u32string scalars = utf8::decode(character);
    if (scalars.size() == 1) return code(scalars[0]);
    return intern(std::string(character));
}

int32_t Terminal::intern(const std::string& character)
{
    if (auto found = charToIndexMap_.find(character); found != charToIndexMap_.end()) return found->second;
    const int32_t id = lastCharIndex_++;
    charToIndexMap_.emplace(character, id);
    indexToCharMap_.emplace(id, character);
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
