// The one regular-expression engine of the program: ICU regular expressions
// behind a small interface. Patterns use ICU syntax; texts are UTF-16 and every
// range is counted in UTF-16 code units, so callers that keep UTF-16 offsets
// (link detection, search, the status classifier) use the results directly.
//
// A compiled Regex is immutable and may be shared between threads: each search
// runs on a matcher of its own (one is kept ready and reused while nobody else
// holds it, so repeated searches from one thread do not allocate a matcher).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvel {

struct RegexOptions {
    bool caseInsensitive = false;
    bool multiline = false;  // ^ and $ also match at line boundaries inside the text
    bool dotAll = false;     // . also matches line terminators
};

// A half-open range of UTF-16 code units.
struct RegexRange {
    size_t location = 0;
    size_t length = 0;

    size_t end() const { return location + length; }
    bool operator==(const RegexRange&) const = default;
};

struct RegexMatch {
    RegexRange range;
    // One entry per capture group (group 1 first); absent for a group that took
    // no part in the match.
    std::vector<std::optional<RegexRange>> groups;
};

// How a search ended. A time-out or an engine failure (for example an
// exhausted backtracking stack) is not a "no match": callers can tell them apart.
enum class RegexOutcome : uint8_t { matched, noMatch, timedOut, failed };

struct RegexSearchOptions {
    // The part of the text searched, in UTF-16 code units; `to` is clamped to the
    // text's length. Look-around and anchors do not see past these bounds.
    size_t from = 0;
    size_t to = std::u16string_view::npos;
    // Upper bound on the work of one match attempt, in steps of the match engine
    // (roughly milliseconds on current hardware); 0 means no limit.
    int32_t timeLimit = 0;
};

class Regex {
public:
    // Compiles a pattern. An invalid pattern gives no value and, when `error` is
    // given, a description of what is wrong with it.
    static std::optional<Regex> compile(std::u16string_view pattern, RegexOptions options = {},
                                        std::string* error = nullptr);
    // The same for a UTF-8 pattern; malformed UTF-8 is an invalid pattern.
    static std::optional<Regex> compile(std::string_view utf8Pattern, RegexOptions options = {},
                                        std::string* error = nullptr);

    Regex(const Regex&) = default;
    Regex& operator=(const Regex&) = default;
    Regex(Regex&&) noexcept = default;
    Regex& operator=(Regex&&) noexcept = default;
    ~Regex();

    const std::u16string& pattern() const;
    RegexOptions options() const;
    size_t groupCount() const;

    // Whether the pattern matches anywhere in the searched part of `text`.
    RegexOutcome test(std::u16string_view text, const RegexSearchOptions& search = {}) const;

    // The first match; `out` is written only when the outcome is `matched`.
    RegexOutcome firstMatch(std::u16string_view text, RegexMatch& out,
                            const RegexSearchOptions& search = {}) const;
    std::optional<RegexMatch> firstMatch(std::u16string_view text,
                                         const RegexSearchOptions& search = {}) const;

    // Every non-overlapping match from left to right, appended to `out` (which is
    // cleared first). On a time-out or failure `out` keeps the matches found
    // before it.
    RegexOutcome allMatches(std::u16string_view text, std::vector<RegexMatch>& out,
                            const RegexSearchOptions& search = {}) const;

private:
    struct Impl;
    explicit Regex(std::shared_ptr<Impl> impl);
    std::shared_ptr<Impl> impl_;
};

}  // namespace corvel
