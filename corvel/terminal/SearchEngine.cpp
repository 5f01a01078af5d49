// Search steps over logical lines.
//
// Positions: a search position is a column and a row; on a row that continues
// the row above, a forward search climbs to the first row of its logical line
// and adds the terminal's width to the column for every row climbed, so the
// column still names the same cell counted from the line's start. A backward
// search on such a row only adds the width and leaves the climbing to its
// caller, which walks the rows upward with the same position.
#include "corvel/terminal/SearchEngine.h"

#include "corvel/platform/Regex.h"
#include "corvel/platform/Utf8.h"
#include "corvel/screen/Buffer.h"
#include "corvel/terminal/SearchLineCache.h"
#include "corvel/terminal/Terminal.h"

#include <algorithm>
#include <limits>
#include <string_view>
#include <vector>

namespace corvel {

namespace {

// Columns grow by the width for every continuation row walked; keep them far
// from overflowing on very long scrollbacks.
constexpr int kMaxColumn = std::numeric_limits<int>::max() / 4;

int addColumns(int col, int width) { return std::min(col, kMaxColumn - width) + width; }

char16_t asciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

std::string toUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        utf8::append(out, c);
    }
    return out;
}

// A half-open range of code units.
struct Span {
    size_t start = 0;
    size_t end = 0;
};

// The first occurrence of the lowered ASCII term at or after `from`, ASCII
// letters compared without case.
std::optional<Span> asciiFind(std::u16string_view text, std::u16string_view lowered, size_t from, size_t limit)
{
    const size_t n = lowered.size();
    if (n == 0 || limit < n) return std::nullopt;
    const char16_t first = lowered[0];
    const char16_t firstUpper = first >= u'a' && first <= u'z' ? static_cast<char16_t>(first - 32) : first;
    for (size_t i = from; i + n <= limit; ++i) {
        const char16_t c = text[i];
        if (c != first && c != firstUpper) continue;
        size_t k = 1;
        while (k < n && asciiLower(text[i + k]) == lowered[k]) ++k;
        if (k == n) return Span{i, i + n};
    }
    return std::nullopt;
}

// The last occurrence that ends at or before `limit`.
std::optional<Span> asciiFindLast(std::u16string_view text, std::u16string_view lowered, size_t limit)
{
    const size_t n = lowered.size();
    if (n == 0 || limit < n) return std::nullopt;
    for (size_t i = limit - n + 1; i-- > 0;) {
        size_t k = 0;
        while (k < n && asciiLower(text[i + k]) == lowered[k]) ++k;
        if (k == n) return Span{i, i + n};
    }
    return std::nullopt;
}

// A pattern that matches the term literally.
std::u16string literalPattern(std::u16string_view term)
{
    std::u16string pattern = u"\\Q";
    for (size_t i = 0; i < term.size(); ++i) {
        if (term[i] == u'\\' && i + 1 < term.size() && term[i + 1] == u'E') {
            // "\E" would end the quote: end it, add an escaped "\E", go on.
            pattern += u"\\E\\\\E\\Q";
            ++i;
        } else {
            pattern.push_back(term[i]);
        }
    }
    pattern += u"\\E";
    return pattern;
}

}  // namespace

struct SearchEngine::Query {
    std::string utf8Term;
    std::u16string term;
    std::u16string lowered;  // the ASCII term with letters lowered
    SearchOptions options;
    bool ignoreCase = true;
    bool asciiTerm = true;
    std::optional<Regex> regex;  // the pattern in regex mode; the literal when needed
    bool literalTried = false;
    bool invalid = false;
    bool abandoned = false;
};

bool SearchEngine::isNonWordCharacter(char32_t c)
{
    if (c == U' ') return true;
    if (c == U'_') return false;
    return (c >= U'!' && c <= U'/') || (c >= U':' && c <= U'@') || (c >= U'[' && c <= U'`') ||
           (c >= U'{' && c <= U'~');
}

SearchEngine::SearchEngine(Terminal& terminal, SearchLineCache& lineCache)
    : terminal_(terminal), lineCache_(lineCache)
{
}

SearchEngine::Query SearchEngine::prepare(const std::string& term, const std::optional<SearchOptions>& options)
{
    Query q;
    q.utf8Term = term;
    q.term = utf8::toUtf16(term);
    q.options = options.value_or(SearchOptions{});
    q.ignoreCase = !q.options.caseSensitive;
    q.asciiTerm = std::all_of(q.term.begin(), q.term.end(), [](char16_t c) { return c < 0x80; });
    if (q.asciiTerm) {
        q.lowered = q.term;
        for (char16_t& c : q.lowered) c = asciiLower(c);
    }
    if (q.options.regex) {
        q.regex = Regex::compile(std::u16string_view(q.term), RegexOptions{.caseInsensitive = q.ignoreCase});
        // A pattern that does not compile finds nothing; no error is raised.
        q.invalid = !q.regex;
    }
    linesSearched_ = 0;
    timedOutLines_ = 0;
    return q;
}

std::optional<SearchResult> SearchEngine::findInLine(Query& query, Position& position, bool reverse, int* lastRow)
{
    if (query.invalid || query.abandoned) return std::nullopt;
    const int rows = lineCache_.rowCount();
    if (position.row < 0 || position.row >= rows) return std::nullopt;
    const int width = std::max(terminal_.cols(), 1);
    if (lineCache_.continuesAbove(position.row)) {
        if (reverse) {
            position.col = addColumns(position.col, width);
            return std::nullopt;
        }
        while (lineCache_.continuesAbove(position.row)) {
            --position.row;
            position.col = addColumns(position.col, width);
        }
    }
    const int firstRow = position.row;
    const SearchLineText& entry = lineCache_.line(firstRow);
    if (lastRow) *lastRow = firstRow + entry.rowCount() - 1;
    ++linesSearched_;

    // The position's column as an offset into the text.
    int rowIndex = 0;
    int remaining = std::max(position.col, 0);
    while (remaining > width && rowIndex + 1 < entry.rowCount()) {
        remaining -= width;
        ++rowIndex;
    }
    const std::u16string_view text = entry.lineAsString;
    const size_t startIndex =
        std::min(static_cast<size_t>(entry.offsetOfCell(rowIndex, std::min(remaining, width))), text.size());

    auto wholeWord = [&](Span m) {
        if (!query.options.wholeWord) return true;
        if (m.start > 0 && !isNonWordCharacter(text[m.start - 1])) return false;
        if (m.end < text.size() && !isNonWordCharacter(text[m.end])) return false;
        return true;
    };
    // A regular-expression outcome other than a match or none ends this
    // line; enough of them end the step.
    auto giveUp = [&](RegexOutcome outcome) {
        if (outcome != RegexOutcome::timedOut && outcome != RegexOutcome::failed) return false;
        if (++timedOutLines_ >= maxTimedOutLines) query.abandoned = true;
        return true;
    };
    const RegexSearchOptions bounded{.from = 0, .to = std::u16string_view::npos, .timeLimit = regexTimeLimit};

    std::optional<Span> found;
    std::u16string_view matched;
    if (query.options.regex) {
        if (!reverse) {
            size_t from = startIndex;
            while (from <= text.size()) {
                RegexMatch m;
                RegexSearchOptions search = bounded;
                search.from = from;
                const RegexOutcome outcome = query.regex->firstMatch(text, m, search);
                if (outcome != RegexOutcome::matched) {
                    giveUp(outcome);
                    break;
                }
                // An empty match gives no match for the line.
                if (m.range.length == 0) break;
                const Span span{m.range.location, m.range.end()};
                if (wholeWord(span)) {
                    found = span;
                    break;
                }
                from = span.start + 1;
            }
        } else {
            std::vector<RegexMatch> all;
            RegexSearchOptions search = bounded;
            search.to = startIndex;
            const RegexOutcome outcome = query.regex->allMatches(text, all, search);
            if (outcome == RegexOutcome::matched && !all.empty() && all.back().range.length > 0) {
                for (auto it = all.rbegin(); it != all.rend(); ++it) {
                    const Span span{it->range.location, it->range.end()};
                    if (span.end == span.start) break;
                    if (wholeWord(span)) {
                        found = span;
                        break;
                    }
                }
            } else {
                giveUp(outcome);
            }
        }
        if (found) matched = text.substr(found->start, found->end - found->start);
    } else {
        const bool ascii = !query.ignoreCase || (query.asciiTerm && entry.ascii);
        if (!ascii && !query.literalTried) {
            query.literalTried = true;
            query.regex = Regex::compile(std::u16string_view(literalPattern(query.term)),
                                         RegexOptions{.caseInsensitive = true});
        }
        // The next candidate at or after `from` (forward) or ending at or
        // before `limit` (backward).
        auto next = [&](size_t from) -> std::optional<Span> {
            if (!query.ignoreCase) {
                const size_t at = text.find(std::u16string_view(query.term), from);
                if (at == std::u16string_view::npos) return std::nullopt;
                return Span{at, at + query.term.size()};
            }
            if (ascii) return asciiFind(text, query.lowered, from, text.size());
            if (!query.regex) return std::nullopt;
            RegexMatch m;
            RegexSearchOptions search = bounded;
            search.from = from;
            const RegexOutcome outcome = query.regex->firstMatch(text, m, search);
            if (outcome != RegexOutcome::matched || m.range.length == 0) {
                giveUp(outcome);
                return std::nullopt;
            }
            return Span{m.range.location, m.range.end()};
        };
        auto previous = [&](size_t limit) -> std::optional<Span> {
            if (!query.ignoreCase) {
                if (limit < query.term.size()) return std::nullopt;
                const size_t at = text.substr(0, limit).rfind(std::u16string_view(query.term));
                if (at == std::u16string_view::npos) return std::nullopt;
                return Span{at, at + query.term.size()};
            }
            if (ascii) return asciiFindLast(text, query.lowered, limit);
            if (!query.regex) return std::nullopt;
            // The last of the (possibly overlapping) occurrences inside [0, limit).
            std::optional<Span> last;
            size_t from = 0;
            while (from < limit) {
                RegexMatch m;
                RegexSearchOptions search = bounded;
                search.from = from;
                search.to = limit;
                const RegexOutcome outcome = query.regex->firstMatch(text, m, search);
                if (outcome != RegexOutcome::matched || m.range.length == 0) {
                    giveUp(outcome);
                    break;
                }
                last = Span{m.range.location, m.range.end()};
                from = m.range.location + 1;
            }
            return last;
        };
        if (!reverse) {
            for (auto m = next(startIndex); m; m = next(m->start + 1)) {
                if (wholeWord(*m)) {
                    found = m;
                    break;
                }
            }
        } else {
            for (auto m = previous(startIndex); m; m = m->end > 0 ? previous(m->end - 1) : std::nullopt) {
                if (wholeWord(*m)) {
                    found = m;
                    break;
                }
            }
        }
    }
    if (!found) return std::nullopt;

    // Map the matched code units back to the cells that hold them.
    const auto& offsets = entry.offsets;
    auto rowOf = [&](size_t offset) {
        const auto it = std::upper_bound(offsets.begin(), offsets.end(), static_cast<int>(offset));
        return static_cast<int>(it - offsets.begin()) - 1;
    };
    const int first = std::max(rowOf(found->start), 0);
    const int last = std::max(rowOf(found->end - 1), first);
    const int col = entry.cellAtOffset(first, static_cast<int>(found->start) - offsets[static_cast<size_t>(first)]);
    const int lastCell = entry.cellAtOffset(last, static_cast<int>(found->end - 1) - offsets[static_cast<size_t>(last)]);
    const int lastWidth = terminal_.displayBuffer().lines()[firstRow + last][lastCell].width;
    const int endCol = lastCell + std::max(lastWidth, 1);

    SearchResult result;
    result.term = query.options.regex ? toUtf8(matched) : query.utf8Term;
    result.row = firstRow + first;
    result.col = col;
    result.size = endCol - col + width * (last - first);
    return result;
}

std::optional<SearchResult> SearchEngine::findNextWithSelection(const std::string& term,
                                                                const std::optional<SearchOptions>& searchOptions,
                                                                const std::optional<std::string>& cachedSearchTerm,
                                                                const std::optional<SearchSelection>& previousSelection)
{
    if (term.empty()) return std::nullopt;
    lineCache_.initLinesCache();
    Query query = prepare(term, searchOptions);
    if (query.invalid) return std::nullopt;

    Position start;
    if (previousSelection) start = cachedSearchTerm == term ? previousSelection->end : previousSelection->start;
    const int rows = lineCache_.rowCount();

    Position position = start;
    int covered = -1;
    if (auto result = findInLine(query, position, false, &covered)) return result;
    // Rows of a logical line already searched from an earlier point are skipped.
    for (int row = std::max(start.row + 1, 0); row < rows && !query.abandoned; ++row) {
        if (row <= covered) continue;
        position = {0, row};
        if (auto result = findInLine(query, position, false, &covered)) return result;
    }
    covered = -1;
    for (int row = 0; row < std::min(start.row, rows) && !query.abandoned; ++row) {
        if (row <= covered) continue;
        position = {0, row};
        if (auto result = findInLine(query, position, false, &covered)) return result;
    }
    if (previousSelection) {
        position = {0, previousSelection->start.row};
        if (auto result = findInLine(query, position, false, nullptr)) return result;
    }
    return std::nullopt;
}

std::optional<SearchResult> SearchEngine::findPreviousWithSelection(const std::string& term,
                                                                    const std::optional<SearchOptions>& searchOptions,
                                                                    const std::optional<std::string>& cachedSearchTerm,
                                                                    const std::optional<SearchSelection>& previousSelection)
{
    if (term.empty()) return std::nullopt;
    lineCache_.initLinesCache();
    Query query = prepare(term, searchOptions);
    if (query.invalid) return std::nullopt;

    const int rows = lineCache_.rowCount();
    const int width = std::max(terminal_.cols(), 1);
    const int lastRow = rows - 1;
    Position position{width, lastRow};
    if (previousSelection) {
        if (cachedSearchTerm == term) {
            position = previousSelection->start;
        } else {
            // A term being typed keeps a match that still starts here.
            Position here = previousSelection->start;
            if (auto result = findInLine(query, here, false, nullptr)) return result;
            position = previousSelection->end;
        }
    }
    const int startRow = position.row;

    if (auto result = findInLine(query, position, true, nullptr)) return result;
    position.col = std::max(position.col, width);
    for (int row = std::min(startRow, rows) - 1; row >= 0 && !query.abandoned; --row) {
        position.row = row;
        if (auto result = findInLine(query, position, true, nullptr)) return result;
    }
    if (!previousSelection || startRow < 0 || startRow > lastRow) return std::nullopt;
    // Wrap around from the bottom, down to the first row of the start's
    // logical line, so that a match after the start in that line is found.
    int firstOfStart = startRow;
    while (lineCache_.continuesAbove(firstOfStart)) --firstOfStart;
    for (int row = lastRow; row >= firstOfStart && !query.abandoned; --row) {
        position.row = row;
        if (auto result = findInLine(query, position, true, nullptr)) return result;
    }
    return std::nullopt;
}

}  // namespace corvel
