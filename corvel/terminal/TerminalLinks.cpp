// Link detection under a cell. An explicit link is a run of cells carrying
// the same OSC 8 payload; an implicit link is text that looks like a URL or a
// file path, found by one fixed pattern run over the logical line around the
// cell. The logical line follows soft wraps and, by a heuristic, hard line
// breaks that cut a long URL at the right margin.
//
// The lookup runs on every pointer move, so its work is bounded whatever the
// screen holds. The pattern backtracks heavily on long runs of word
// characters, so it never sees more than a window of text around the cell: a
// match that touches the edge of the window may be the cut-off part of a
// longer one and is not reported, so links longer than the window are not
// found, but a wrong link never is. A seam test looks at no more than 96
// columns on each side of a row break (so the seam tests of one lookup
// search a few thousand characters at most) and they end at the first that
// runs out of steps; every run of the pattern has a limit of match-engine
// steps. The limits count work, not time, so a lookup gives the same answer
// on any machine.
//
// Most of a lookup's work is the pattern's: the text it reads is gathered in
// microseconds. Two things spare searches without changing an answer: text
// that holds none of the characters every match needs is not searched, and
// the outcome of a search is remembered with the text it searched (the
// terminal's LinkSearchMemo), so a pointer moving along the same line finds
// the outcome of the same window, or the same seam, without a new search.
#include "corvel/terminal/Terminal.h"
#include "corvel/platform/Dispatch.h"
#include "corvel/platform/Regex.h"
#include "corvel/platform/Utf8.h"

#include <algorithm>
#include <any>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvel {

namespace {

// URLs with a scheme, paths with a prefix (../, ./, ~/, $VAR/, .dir/, /), and
// relative paths that contain a full stop.
constexpr std::string_view kImplicitLinkPattern =
    R"re((?:https?://|mailto:|ftp://|file:|ssh:|git://|ssh://|tel:|magnet:|ipfs://|ipns://|gemini://|gopher://|news:))re"
    R"re((?:(?:\[[:0-9a-fA-F]+(?:[:0-9a-fA-F]*)+\](?::[0-9]+)?)|[\w\-.~:/?#@!$&*+,;=%]+(?:[\(\[]\w*[\)\]])?)+(?<![,.])|)re"
    R"re((?:\.\.\/|\.\/|(?<!\w)~\/|(?:[\w][\w\-.]*\/)*(?<!\w)\$[A-Za-z_]\w*\/|\.[\w][\w\-.]*\/|(?<![\w~\/])\/(?!\/)))re"
    R"re((?:(?=[\w\-.~:\/?#@!$&*+;=%]*\.)[\w\-.~:\/?#@!$&*+;=%]+(?:(?<!:) (?!\w+:\/\/)[\w\-.~:\/?#@!$&*+;=%]*[\/.])*(?<!:)(?: +(?= *$))?)re"
    R"re(|(?![\w\-.~:\/?#@!$&*+;=%]*\.)[\w\-.~:\/?#@!$&*+;=%]+(?:(?<!:) (?!\w+:\/\/)[\w\-.~:\/?#@!$&*+;=%]+)*(?<!:)(?: +(?= *$))?))re"
    R"re(|(?=[\w\-.~:\/?#@!$&*+;=%]*\.)(?<!\w)[\w][\w\-.]*\/[\w\-.~:\/?#@!$&*+;=%]+(?:(?<!:) (?!\w+:\/\/)[\w\-.~:\/?#@!$&*+;=%]*[\/.])*(?<!:)(?: +(?= *$))?)re";
static_assert(kImplicitLinkPattern.size() == 719, "the pattern was changed by accident");

// The characters a URL or path may end a row with, or begin the next with,
// for the two rows to be read as one.
constexpr std::string_view kImplicitContinuationCharacters =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-._~:/?#[]@!$&*+,;=%()";

// Columns read on each side of a row break by the seam test.
constexpr int kSeamColumns = 96;
// UTF-16 code units of the logical line searched on each side of the cell.
constexpr size_t kWindowUnits = 512;
// Limits of one search, in steps of the match engine (about 0.1 ms each):
// hostile text gives no link rather than a stall.
constexpr int32_t kLineTimeLimit = 20;
constexpr int32_t kSeamTimeLimit = 2;

const std::optional<Regex>& implicitLinkRegex()
{
    static const std::optional<Regex> regex = Regex::compile(kImplicitLinkPattern);
    return regex;
}

bool isContinuationCharacter(char32_t c)
{
    return c < 0x80 && kImplicitContinuationCharacters.find(static_cast<char>(c)) != std::string_view::npos;
}

// Whether the pattern can match anywhere in `text`. Each of its branches
// needs a character that plain words and numbers lack: a scheme holds ":";
// a path begins with "./", "../", "~/", "$NAME/", ".name/" or a "/" that
// starts the text or follows a character other than a word character, "~"
// or "/"; a relative path needs a "." somewhere after its start. And every
// match holds a "/" or a ":". Text with none of these, such as the middle of
// a long URL whose dots are all in its host, gives no match, and the search
// that would try every position of it in vain is not made. Any character
// outside ASCII before a "/" counts as a possible path start, so the test
// errs only towards searching.
bool mayHoldImplicitLink(std::u16string_view text)
{
    if (text.find(u':') != std::u16string_view::npos) return true;
    if (text.find(u'/') == std::u16string_view::npos) return false;
    auto closesPathStart = [](char16_t c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' ||
               c == u'~' || c == u'/';
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'.' || c == u'~' || c == u'$') return true;
        if (c == u'/' && (i == 0 || !closesPathStart(text[i - 1]))) return true;
    }
    return false;
}

// The Unicode White_Space property.
bool isWhitespace(char32_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

std::optional<std::string> payloadText(const CharData& cell)
{
    const std::any value = cell.getPayload();
    if (const auto* text = std::any_cast<std::string>(&value)) return *text;
    return std::nullopt;
}

// The character of one cell as link detection reads it: a scalar (0 for an
// empty cell), or the text of a grapheme cluster.
struct CellCharacter {
    char32_t scalar = 0;
    std::string cluster;  // set for grapheme-cluster codes

    bool isEmpty() const { return cluster.empty() && scalar == 0; }
    bool isWhitespace() const
    {
        if (cluster.empty()) return corvel::isWhitespace(scalar);
        return corvel::isWhitespace(utf8::decodeNext(utf8::bytesOf(cluster), 0).scalar);
    }
    bool isContinuation() const
    {
        if (cluster.empty()) return isContinuationCharacter(scalar);
        return std::all_of(cluster.begin(), cluster.end(),
                           [](char c) { return isContinuationCharacter(static_cast<unsigned char>(c)); });
    }
    // Appends the character; an empty cell reads as a space.
    void appendTo(std::u16string& out) const
    {
        if (!cluster.empty()) {
            out += utf8::toUtf16(cluster);
        } else {
            utf8::appendUtf16(out, scalar == 0 ? U' ' : scalar);
        }
    }
};

struct ImplicitCellRef {
    int row = 0;
    int col = 0;
    int width = 1;
};

// The logical line around a cell: its text, the cell each character came
// from, and where each character starts in the UTF-16 text (one entry more
// than cells: the text's length).
struct ImplicitLineMap {
    std::u16string text;
    std::vector<ImplicitCellRef> cells;
    std::vector<size_t> offsets;
    int row = 0;
    int col = 0;
    size_t target = 0;  // the cell of row and col
    // The logical line goes on above or below the rows read.
    bool cutAbove = false;
    bool cutBelow = false;
};

// The first and last cells of a row that hold a non-whitespace character.
struct LinkRowEdgeInfo {
    int firstCol = 0;
    CellCharacter first;
    int lastCol = 0;
    CellCharacter last;
};

// One lookup's view of a buffer.
class ImplicitLinkFinder {
public:
    ImplicitLinkFinder(const Terminal& terminal, Buffer& buffer, const Regex& regex, LinkSearchMemo& memo)
        : terminal_(terminal), buffer_(buffer), regex_(regex), memo_(memo), cols_(terminal.cols()),
          count_(buffer.lines().count()),
          windowRows_(static_cast<int>(kWindowUnits) / std::max(terminal.cols(), 1) + 1),
          seamsEnded_(false)
    {
    }

    std::optional<LinkMatch> implicitLinkMatch(Position at);

private:
    bool inRing(int64_t row) const { return row >= 0 && row < count_; }
    BufferLine& lineAt(int row) { return buffer_.lines()[row]; }
    int width(const BufferLine& line) const { return std::min(line.count(), cols_); }
    static bool isWideCompanion(const BufferLine& line, int col)
    {
        return col >= 1 && line[col].code == 0 && line[col - 1].width == 2;
    }
    CellCharacter characterAt(const BufferLine& line, int col) const;

    std::optional<ImplicitLineMap> buildImplicitLineMap(Position at);
    std::optional<LinkRowEdgeInfo> linkRowEdgeInfo(int row);
    bool canJoinImplicitRows(int upper, int lower);
    bool seamContainsImplicitLink(int upper, int lower, int upperLastCol, int lowerFirstCol);
    // Rows joined by the heuristic around a row, and whether the rows beyond
    // either end may join too.
    struct RowGroup {
        int start;
        int end;
        bool cutAbove;
        bool cutBelow;
    };
    std::optional<RowGroup> heuristicImplicitGroup(int around);
    void implicitLineSegmentText(std::u16string& out, const BufferLine& line, int startCol, int endCol) const;
    // The matches of the pattern in `text`, left to right; on a time-out,
    // those found before it (and `timedOut` is set).
    const std::vector<RegexMatch>& matchesIn(std::u16string_view text, int32_t timeLimit, bool* timedOut = nullptr);

    const Terminal& terminal_;
    Buffer& buffer_;
    const Regex& regex_;
    LinkSearchMemo& memo_;
    int cols_;
    int64_t count_;
    int windowRows_;  // rows read on each side of the cell: enough for the text window
    bool seamsEnded_;           // a seam test ran out of steps: no more are made
    bool seamRefused_ = false;  // the last seam test gave up rather than read the text
    std::vector<RegexMatch> matches_;  // the (empty) outcome of text not searched
};

CellCharacter ImplicitLinkFinder::characterAt(const BufferLine& line, int col) const
{
    const CharData& cell = line[col];
    if (cell.code == 0) return {};
    if (cell.code < CharData::firstGraphemeId) return {cell.getCharacter(), {}};
    return {0, terminal_.character(cell.code)};
}

const std::vector<RegexMatch>& ImplicitLinkFinder::matchesIn(std::u16string_view text, int32_t timeLimit,
                                                             bool* timedOut)
{
    if (timedOut) *timedOut = false;
    if (!mayHoldImplicitLink(text)) {
        matches_.clear();
        return matches_;
    }
    if (const LinkSearchMemo::Outcome* known = memo_.find(text, timeLimit)) {
        if (timedOut) *timedOut = known->timedOut;
        return known->matches;
    }
    RegexSearchOptions search;
    search.timeLimit = timeLimit;
    LinkSearchMemo::Outcome found;
    const RegexOutcome outcome = regex_.allMatches(text, found.matches, search);
    found.timedOut = outcome == RegexOutcome::timedOut || outcome == RegexOutcome::failed;
    if (timedOut) *timedOut = found.timedOut;
    return memo_.remember(text, timeLimit, std::move(found)).matches;
}

void ImplicitLinkFinder::implicitLineSegmentText(std::u16string& out, const BufferLine& line, int startCol,
                                                 int endCol) const
{
    const int end = std::min(endCol, line.count());
    for (int col = std::max(startCol, 0); col < end; ++col) {
        if (!isWideCompanion(line, col)) characterAt(line, col).appendTo(out);
    }
}

std::optional<LinkRowEdgeInfo> ImplicitLinkFinder::linkRowEdgeInfo(int row)
{
    if (!inRing(row)) return std::nullopt;
    const BufferLine& line = lineAt(row);
    const int w = width(line);
    const int trimmed = line.getTrimmedLength();
    if (w < 1 || trimmed < 1) return std::nullopt;
    const int limit = std::min(trimmed, w);

    // An empty cell stands for the wide character it completes and is
    // skipped otherwise.
    auto significant = [&](int col) -> std::optional<CellCharacter> {
        if (line[col].code == 0) {
            if (!isWideCompanion(line, col)) return std::nullopt;
            CellCharacter wide = characterAt(line, col - 1);
            if (wide.isWhitespace()) return std::nullopt;
            return wide;
        }
        CellCharacter c = characterAt(line, col);
        if (c.isWhitespace()) return std::nullopt;
        return c;
    };

    LinkRowEdgeInfo info;
    std::optional<CellCharacter> first;
    int firstCol = 0;
    if (line[0].code != 0 && !characterAt(line, 0).isWhitespace()) {
        first = characterAt(line, 0);
    } else {
        for (int col = 1; col < limit && !first; ++col) {
            if ((first = significant(col))) firstCol = col;
        }
    }
    if (!first) return std::nullopt;
    info.firstCol = firstCol;
    info.first = *first;
    info.lastCol = firstCol;
    info.last = *first;
    for (int col = limit - 1; col > firstCol; --col) {
        if (auto last = significant(col)) {
            info.lastCol = col;
            info.last = std::move(*last);
            break;
        }
    }
    return info;
}

bool ImplicitLinkFinder::canJoinImplicitRows(int upper, int lower)
{
    const auto up = linkRowEdgeInfo(upper);
    if (!up) return false;
    const auto down = linkRowEdgeInfo(lower);
    if (!down) return false;
    const int slack = cols_ >= 10 ? cols_ / 5 : 2;
    if (up->lastCol < cols_ - slack) return false;
    if (up->last.isEmpty() || down->first.isEmpty()) return false;
    if (!up->last.isContinuation() || !down->first.isContinuation()) return false;
    return seamContainsImplicitLink(upper, lower, up->lastCol, down->firstCol);
}

bool ImplicitLinkFinder::seamContainsImplicitLink(int upper, int lower, int upperLastCol, int lowerFirstCol)
{
    if (!inRing(upper) || !inRing(lower)) return false;
    if (seamsEnded_) {
        seamRefused_ = true;
        return false;
    }
    const BufferLine& upperLine = lineAt(upper);
    const int e = std::min(width(upperLine), upperLastCol + 1);
    if (e < 1) return false;
    std::u16string text;
    implicitLineSegmentText(text, upperLine, std::max(e - kSeamColumns, 0), e);
    if (text.empty()) return false;
    const size_t seam = text.size();

    const BufferLine& lowerLine = lineAt(lower);
    const int t = std::min(width(lowerLine), lowerLine.getTrimmedLength());
    if (lowerFirstCol >= t) return false;
    implicitLineSegmentText(text, lowerLine, lowerFirstCol, std::min(lowerFirstCol + kSeamColumns, t));
    if (text.size() == seam) return false;

    bool timedOut = false;
    for (const RegexMatch& match : matchesIn(text, kSeamTimeLimit, &timedOut)) {
        const size_t start = match.range.location;
        if (start < seam && seam < match.range.end() && (start == 0 || text[start - 1] != u'$')) return true;
    }
    if (timedOut) {
        // What the rest of the seam holds is unknown: the rows beyond may
        // belong to a link, so the walk counts as cut here.
        seamsEnded_ = true;
        seamRefused_ = true;
    }
    return false;
}

std::optional<ImplicitLinkFinder::RowGroup> ImplicitLinkFinder::heuristicImplicitGroup(int around)
{
    // A walk ends cut at the window, or where a seam test gave up before
    // telling whether the rows join.
    RowGroup group{around, around, false, false};
    auto joins = [&](int upper, int lower) {
        seamRefused_ = false;
        return canJoinImplicitRows(upper, lower);
    };
    while (group.start >= 1 && around - group.start < windowRows_ && joins(group.start - 1, group.start))
        --group.start;
    group.cutAbove = around - group.start == windowRows_ || seamRefused_;
    seamRefused_ = false;
    while (inRing(int64_t{group.end} + 1) && group.end - around < windowRows_ && joins(group.end, group.end + 1))
        ++group.end;
    group.cutBelow = group.end - around == windowRows_ || seamRefused_;
    if (group.start == around && group.end == around && !group.cutAbove && !group.cutBelow) return std::nullopt;
    return group;
}

std::optional<ImplicitLineMap> ImplicitLinkFinder::buildImplicitLineMap(Position at)
{
    if (!inRing(at.row)) return std::nullopt;
    ImplicitLineMap map;
    map.row = at.row;
    map.col = at.col;
    {
        const BufferLine& line = lineAt(at.row);
        const int w = width(line);
        if (w > 0) {
            map.col = std::clamp(at.col, 0, w - 1);
            if (isWideCompanion(line, map.col)) --map.col;
        }
    }

    // The logical line, read at most windowRows_ rows on either side.
    int start = at.row;
    while (start > 0 && at.row - start < windowRows_ && lineAt(start).isWrapped) --start;
    int end = at.row;
    while (inRing(int64_t{end} + 1) && end - at.row < windowRows_ && lineAt(end + 1).isWrapped) ++end;
    map.cutAbove = start > 0 && lineAt(start).isWrapped;
    map.cutBelow = inRing(int64_t{end} + 1) && lineAt(end + 1).isWrapped;
    if (start == at.row && end == at.row) {
        if (auto group = heuristicImplicitGroup(at.row)) {
            start = group->start;
            end = group->end;
            map.cutAbove = group->cutAbove;
            map.cutBelow = group->cutBelow;
        }
    }

    bool covered = false;
    for (int row = start; row <= end; ++row) {
        const BufferLine& line = lineAt(row);
        const int w = width(line);
        if (w == 0) continue;
        int stop = 0;
        for (int col = w - 1; col >= 0; --col) {
            if (line[col].code != 0) {
                stop = std::min(w, col + std::max<int>(line[col].width, 1));
                break;
            }
        }
        if (stop == 0) continue;
        // Every row after the first continues the one above it (soft-wrapped,
        // or joined by the heuristic): its leading indentation is left out.
        int first = 0;
        if (row > start || map.cutAbove) {
            const auto edges = linkRowEdgeInfo(row);
            if (!edges) continue;
            first = edges->firstCol;
        }
        if (row == map.row && first <= map.col && map.col < stop) covered = true;
        for (int col = first; col < stop; ++col) {
            if (isWideCompanion(line, col)) continue;
            if (row == map.row && col == map.col) map.target = map.cells.size();
            map.offsets.push_back(map.text.size());
            characterAt(line, col).appendTo(map.text);
            map.cells.push_back({row, col, std::max<int>(line[col].width, 1)});
        }
    }
    map.offsets.push_back(map.text.size());
    if (map.text.empty() || map.cells.empty() || !covered) return std::nullopt;
    return map;
}

std::optional<LinkMatch> ImplicitLinkFinder::implicitLinkMatch(Position at)
{
    const auto map = buildImplicitLineMap(at);
    if (!map) return std::nullopt;

    // The cell whose character starts at a UTF-16 offset; absent inside a
    // character.
    auto cellAt = [&](size_t offset) -> std::optional<size_t> {
        const auto found = std::lower_bound(map->offsets.begin(), map->offsets.end(), offset);
        if (found == map->offsets.end() || *found != offset) return std::nullopt;
        return static_cast<size_t>(found - map->offsets.begin());
    };

    // The window of text searched, on character boundaries.
    const size_t targetOffset = map->offsets[map->target];
    const size_t from = *std::lower_bound(map->offsets.begin(), map->offsets.end(),
                                          targetOffset > kWindowUnits ? targetOffset - kWindowUnits : 0);
    const size_t to = *(std::upper_bound(map->offsets.begin(), map->offsets.end(), targetOffset + kWindowUnits) - 1);
    const bool cutLeft = from > 0 || map->cutAbove;
    const bool cutRight = to < map->text.size() || map->cutBelow;
    const std::u16string_view window = std::u16string_view(map->text).substr(from, to - from);

    for (const RegexMatch& match : matchesIn(window, kLineTimeLimit)) {
        if (match.range.length == 0) continue;
        // A match at the window's edge may be part of a longer one.
        if ((cutLeft && match.range.location == 0) || (cutRight && match.range.end() == window.size())) continue;
        const size_t location = from + match.range.location;
        const size_t length = match.range.length;
        if (location > 0 && map->text[location - 1] == u'$') continue;
        const auto lo = cellAt(location);
        const auto endCell = cellAt(location + length);
        if (!lo || !endCell) continue;
        const size_t hi = std::min(*endCell, map->cells.size());
        if (*lo >= hi) continue;

        std::vector<LinkMatch::RowRange> rows;
        bool targetInside = false;
        for (size_t i = *lo; i < hi; ++i) {
            const ImplicitCellRef& cell = map->cells[i];
            const ColumnRange span{cell.col, cell.col + cell.width};
            if (rows.empty() || rows.back().row != cell.row) {
                rows.push_back({cell.row, span});
            } else {
                ColumnRange& merged = rows.back().range;
                merged.lowerBound = std::min(merged.lowerBound, span.lowerBound);
                merged.upperBound = std::max(merged.upperBound, span.upperBound);
            }
            if (cell.row == map->row && span.contains(map->col)) targetInside = true;
        }
        if (!targetInside) continue;
        const auto target = std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.row == map->row; });
        if (target == rows.end() || target->range.isEmpty()) continue;

        LinkMatch result;
        result.text = utf8::fromUtf16(std::u16string_view(map->text).substr(location, length));
        result.row = map->row;
        result.range = target->range;
        result.isExplicit = false;
        std::erase_if(rows, [](const auto& r) { return r.range.isEmpty(); });
        result.rowRanges = std::move(rows);
        return result;
    }
    return std::nullopt;
}

// The payload handle of a cell, or of the wide character whose right half it is.
std::optional<uint16_t> payloadCode(Position at, Buffer& buffer, int cols)
{
    if (at.row < 0 || at.row >= buffer.lines().count()) return std::nullopt;
    const BufferLine& line = buffer.lines()[at.row];
    const int width = std::min(line.count(), cols);
    if (width <= 0) return std::nullopt;
    const int col = std::clamp(at.col, 0, width - 1);
    if (line[col].payload.code != 0) return line[col].payload.code;
    if (col >= 1 && line[col].code == 0 && line[col - 1].width == 2 && line[col - 1].payload.code != 0) {
        return line[col - 1].payload.code;
    }
    return std::nullopt;
}

}  // namespace

std::optional<Position> Terminal::resolveLinkLocation(LinkLookupLocation at, const Buffer& buffer) const
{
    const int64_t count = buffer.lines().count();
    if (count == 0) return std::nullopt;
    int64_t row = at.position.row;
    if (at.kind == LinkLookupLocation::Kind::screen) row += buffer.yDisp();
    return Position{std::clamp(at.position.col, 0, std::max(cols_ - 1, 0)),
                    static_cast<int>(std::clamp<int64_t>(row, 0, count - 1))};
}

std::optional<LinkMatch> Terminal::explicitLinkMatch(Position at, Buffer& buffer)
{
    const auto code = payloadCode(at, buffer, cols_);
    if (!code) return std::nullopt;
    const BufferLine& line = buffer.lines()[at.row];
    const int width = std::min(line.count(), cols_);
    if (width <= 0) return std::nullopt;

    int start = at.col;
    while (start >= 1 && payloadCode({start - 1, at.row}, buffer, cols_) == code) --start;
    int end = at.col;
    while (end < width && payloadCode({end, at.row}, buffer, cols_) == code) ++end;
    if (start >= end) return std::nullopt;

    const int col = std::clamp(at.col, 0, line.count() - 1);
    auto payload = payloadText(line[col]);
    if (!payload) payload = payloadText(line[std::max(col - 1, 0)]);
    if (!payload) return std::nullopt;
    auto uri = parseHyperlinkPayload(*payload);
    if (!uri) return std::nullopt;

    LinkMatch match;
    match.text = std::move(*uri);
    match.row = at.row;
    match.range = {start, end};
    match.isExplicit = true;
    match.rowRanges = {{at.row, match.range}};
    return match;
}

std::optional<LinkMatch> Terminal::implicitLinkMatch(Position at, Buffer& buffer)
{
    const auto& regex = implicitLinkRegex();
    if (!regex) return std::nullopt;
    return ImplicitLinkFinder(*this, buffer, *regex, linkSearchMemo_).implicitLinkMatch(at);
}

std::optional<LinkMatch> Terminal::linkMatch(LinkLookupLocation at, LinkLookupMode mode)
{
    Buffer& buffer = displayBuffer();
    const auto position = resolveLinkLocation(at, buffer);
    if (!position) return std::nullopt;
    if (auto match = explicitLinkMatch(*position, buffer)) return match;
    if (mode == LinkLookupMode::explicitAndImplicit) return implicitLinkMatch(*position, buffer);
    return std::nullopt;
}

std::optional<std::string> Terminal::link(LinkLookupLocation at, LinkLookupMode mode)
{
    auto match = linkMatch(at, mode);
    if (!match) return std::nullopt;
    return std::move(match->text);
}

}  // namespace corvel
