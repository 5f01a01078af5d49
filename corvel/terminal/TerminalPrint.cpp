// The print path: runs of printable bytes from the parser become cells.
// Plain 7-bit text goes to the buffer in whole spans; everything else is
// decoded as UTF-8 (an incomplete sequence at the end of a run waits for the
// next run), mapped through the character set invoked into GL, measured and
// placed cell by cell. Characters that belong to the cell printed before
// them (combining marks, skin tones, variation selectors, the parts of a
// joined emoji or of a flag) are added to that cell's text instead of taking
// a cell of their own. Also the character-set designation and invocation.
#include "corvel/terminal/Terminal.h"
#include "corvel/terminal/TerminalInternals.h"

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

// The cluster table is not collected before it holds this many codes.
constexpr size_t kMinClusterCollection = 4096;

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
            !UnicodeUtil::hasEmojiVariation(scalars[held - 1])) {
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
    // The table is collected each time it doubled since the last collection,
    // so it stays within a small multiple of the codes the cells use.
    if (indexToCharMap_.size() >= std::max(clusterCollectionAt_, kMinClusterCollection)) {
        collectUnusedClusters();
        if (indexToCharMap_.size() >= maxClusterCodes) return static_cast<int32_t>(utf8::replacementCharacter);
    }
    int32_t id = 0;
    if (!freeClusterCodes_.empty()) {
        id = freeClusterCodes_.back();
        freeClusterCodes_.pop_back();
    } else {
        id = lastCharIndex_++;
    }
    charToIndexMap_.emplace(std::string(character), id);
    indexToCharMap_.emplace(id, std::string(character));
    return id;
}

void Terminal::collectUnusedClusters()
{
    if (indexToCharMap_.empty()) return;
    // One flag per code handed out so far: codes run densely from firstGraphemeId.
    std::vector<bool> used(static_cast<size_t>(lastCharIndex_ - CharData::firstGraphemeId), false);
    auto isUsed = [&](int64_t code) {
        const int64_t at = code - CharData::firstGraphemeId;
        return at >= 0 && at < static_cast<int64_t>(used.size()) && used[static_cast<size_t>(at)];
    };
    for (const Buffer* each : {normalBuffer_.get(), altBuffer_.get(), synchronizedOutputBuffer_.get()}) {
        if (!each) continue;
        for (const BufferLine* line : each->lines().getArray()) {
            if (!line) continue;
            for (const CharData& cell : line->storage()) {
                const int64_t at = int64_t{cell.code} - CharData::firstGraphemeId;
                if (at >= 0 && at < static_cast<int64_t>(used.size())) used[static_cast<size_t>(at)] = true;
            }
        }
    }
    for (auto it = indexToCharMap_.begin(); it != indexToCharMap_.end();) {
        auto next = std::next(it);
        if (!isUsed(it->first)) {
            charToIndexMap_.erase(it->second);
            freeClusterCodes_.push_back(it->first);
            indexToCharMap_.erase(it);
        }
        it = next;
    }
    // A remembered join that names a freed code, as the joined cell or as
    // the result, is forgotten: the code may soon stand for other text.
    std::erase_if(knownCodes_, [&](const auto& entry) {
        const int64_t joinedTo = static_cast<int64_t>(entry.first >> 32);
        return !isUsed(entry.second) || (joinedTo >= CharData::firstGraphemeId && !isUsed(joinedTo));
    });
    if (indexToCharMap_.empty()) {
        // Nothing is left: the codes start afresh and the free list goes.
        lastCharIndex_ = CharData::firstGraphemeId;
        std::vector<int32_t>().swap(freeClusterCodes_);
        charToIndexMap_ = {};
        indexToCharMap_ = {};
        knownCodes_ = {};
    } else if (indexToCharMap_.bucket_count() > 4 * indexToCharMap_.size() + 64) {
        // The maps give back the buckets of the codes that went.
        charToIndexMap_.rehash(0);
        indexToCharMap_.rehash(0);
        knownCodes_.rehash(0);
    }
    clusterCollectionAt_ = std::min(2 * indexToCharMap_.size(), maxClusterCodes);
}

std::string Terminal::character(int32_t value) const
{
    if (value <= 0x400000) {
        if (!utf8::isScalar(value)) return " ";
        return utf8::encode(static_cast<char32_t>(value));
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
